#include "service/Service.SoapScanner.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

const QByteArray Declaration = R"(<?xml version="1.0" encoding="utf-8"?>)";
const QByteArray Open =
    R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><soap:Body>)";
const QByteArray Close = "</soap:Body></soap:Envelope>";

QByteArray Answer(const QByteArray& AInWrapper) {
  return Declaration + Open + R"(<GetDbViewResponse xmlns="http://ulmora.no/Ostrel/">)" + AInWrapper +
         "</GetDbViewResponse>" + Close;
}

QByteArray ManyAttributes(qsizetype ACount) {
  QByteArray Result;
  for (qsizetype I = 0; I < ACount; ++I)
    Result += " a" + QByteArray::number(I) + "=\"v\"";
  return Result;
}

struct TCase {
  const char* Name;
  QByteArray Body;
  std::optional<QString> Expected;  // nothing: left to the full reader
};

TEST(SoapScanner, ReadsTheOrdinaryAnswerAndLeavesEverythingElseToTheFullReader) {
  const TCase Cases[] = {
      {"references and UTF-8",
       Answer("<ViewDefinition>a &amp; b &lt;&gt; &quot;&apos; x&#xD;&#10;y &#x10437; \xC3\xA6\xE2\x82\xAC</ViewDefinition>"),
       QStringLiteral("a & b <> \"' x\r\ny \U00010437 \u00E6\u20AC")},
      {"U+FEFF opening the text, as a reference and inside",
       Answer("<ViewDefinition>\xEF\xBB\xBF" "a&#xFEFF;b\xEF\xBB\xBF</ViewDefinition>"),
       QStringLiteral("\uFEFFa\uFEFFb\uFEFF")},
      {"U+FEFF as a reference opening the text", Answer("<ViewDefinition>&#xFEFF;v</ViewDefinition>"),
       QStringLiteral("\uFEFFv")},
      {"literal line breaks folded", Answer("<ViewDefinition>a\r\nb\rc\nd</ViewDefinition>"), QStringLiteral("a\nb\nc\nd")},
      {"result absent", Answer("<Other>x</Other>"), QString()},
      {"empty result", Answer("<ViewDefinition/>"), QString()},
      {"last result wins, others skipped", Answer("<ViewDefinition>1</ViewDefinition><X><ViewDefinition>2</ViewDefinition></X><ViewDefinition>3</ViewDefinition>"),
       QStringLiteral("3")},
      {"prefixes, header, no declaration, trailing space",
       R"(<e:Envelope xmlns:e='http://schemas.xmlsoap.org/soap/envelope/'><e:Header><h/></e:Header><e:Body >)"
       R"(<m:GetDbViewResponse xmlns:m="http://ulmora.no/Ostrel/"><m:ViewDefinition>v</m:ViewDefinition ></m:GetDbViewResponse>)"
       "</e:Body></e:Envelope>\n",
       QStringLiteral("v")},
      {"standalone declaration", R"(<?xml version='1.0' encoding='UTF-8' standalone="yes" ?>)" + Open +
                                     R"(<GetDbViewResponse xmlns="http://ulmora.no/Ostrel/"/>)" + Close,
       QString()},

      {"fault", Declaration + Open + "<soap:Fault><faultcode>soap:Server</faultcode></soap:Fault>" + Close, std::nullopt},
      {"document type", "<!DOCTYPE x [<!ENTITY e 'v'>]>" + Answer("<ViewDefinition>&e;</ViewDefinition>"), std::nullopt},
      {"comment", Answer("<ViewDefinition>a<!-- c -->b</ViewDefinition>"), std::nullopt},
      {"CDATA", Answer("<ViewDefinition><![CDATA[a]]></ViewDefinition>"), std::nullopt},
      {"unknown entity", Answer("<ViewDefinition>&nbsp;</ViewDefinition>"), std::nullopt},
      {"forbidden character reference", Answer("<ViewDefinition>&#1;</ViewDefinition>"), std::nullopt},
      {"control character", Answer("<ViewDefinition>\x01</ViewDefinition>"), std::nullopt},
      {"invalid UTF-8", Answer("<ViewDefinition>\xC3(</ViewDefinition>"), std::nullopt},
      {"overlong UTF-8", Answer("<ViewDefinition>\xC0\xAF</ViewDefinition>"), std::nullopt},
      {"byte-order mark", "\xEF\xBB\xBF" + Answer("<ViewDefinition>v</ViewDefinition>"), std::nullopt},
      {"other encoding", R"(<?xml version="1.0" encoding="iso-8859-1"?>)" + Open + R"(<GetDbViewResponse xmlns="http://ulmora.no/Ostrel/"/>)" + Close,
       std::nullopt},
      {"element inside the result", Answer("<ViewDefinition>a<b/></ViewDefinition>"), std::nullopt},
      {"mismatched end tag", Answer("<ViewDefinition>v</ViewDefinitio>"), std::nullopt},
      {"cut short", Answer("<ViewDefinition>v</ViewDefinition>").chopped(5), std::nullopt},
      {"text after the root", Answer("") + "x", std::nullopt},
      {"second root", Answer("") + "<x/>", std::nullopt},
      {"undeclared prefix", Answer("<p:ViewDefinition>v</p:ViewDefinition>"), std::nullopt},
      {"duplicate attribute", Answer(R"(<ViewDefinition a="1" a="2">v</ViewDefinition>)"), std::nullopt},
      {"duplicate attribute among many", Answer(R"(<ViewDefinition z="1" b="2" c="3" z="4">v</ViewDefinition>)"), std::nullopt},
      {"more attributes than a reader accepts", Answer("<ViewDefinition" + ManyAttributes(257) + ">v</ViewDefinition>"), std::nullopt},
      {"attributes run together", Answer(R"(<ViewDefinition a="1"b="2">v</ViewDefinition>)"), std::nullopt},
      {"\"]]>\" in text", Answer("<ViewDefinition>a]]>b</ViewDefinition>"), std::nullopt},
      {"nested deeper than a reader accepts",
       Answer(QByteArray("<x>").repeated(300) + "<ViewDefinition>v</ViewDefinition>" + QByteArray("</x>").repeated(300)),
       std::nullopt},
      {"wrapper in another namespace", Declaration + Open + R"(<GetDbViewResponse xmlns="urn:x"/>)" + Close, std::nullopt},
      {"other wrapper", Declaration + Open + R"(<SaveDbViewResponse xmlns="http://ulmora.no/Ostrel/"/>)" + Close, std::nullopt},
      {"empty body", Declaration + Open + Close, std::nullopt},
      {"no body", Declaration + R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"/>)", std::nullopt},
      {"not an envelope", "<html><body/></html>", std::nullopt},
      {"not XML", "this is not XML at all", std::nullopt},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_EQ(ScanPlainSoapAnswer(Case.Body, QStringLiteral("GetDbViewResponse"), "ViewDefinition"), Case.Expected);
  }
}

TEST(SoapScanner, AnswersEmptyWhenNoResultIsExpected) {
  EXPECT_EQ(ScanPlainSoapAnswer(Answer("<ViewDefinition>v</ViewDefinition>"), QStringLiteral("GetDbViewResponse"), nullptr),
            QString());
}

TEST(SoapScanner, BuildsThePageTreeTheFullParserBuildsOrLeavesItToThatParser) {
  const struct {
    const char* Name;
    QByteArray Page;
    bool Quick;
  } Cases[] = {
      {"list with attributes, references and text",
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RoutineList MaxVersion=\"3\"><Schema Name=\"d&amp;o\">"
       "<ROUTINE ROUTINE_SCHEMA='a\tb\r\nc&#xD;&#xA;&#x9;d' ROUTINE_NAME=\"P&lt;1&gt;\">&#xD;\nCREATE x &lt; 1 ]\r\n"
       "\xC3\xA6 &#x10437;&#13;\n</ROUTINE>\n  <ROUTINE ROUTINE_NAME=\"Q\"/></Schema>\n</RoutineList>\n",
       true},
      {"U+FEFF opening texts and attributes",
       "<a x=\"\xEF\xBB\xBFv\" y='&#xFEFF;'>\xEF\xBB\xBF<b>&#xFEFF;w</b>\xEF\xBB\xBF" "x</a>", true},
      {"mixed content and white space kept apart", "<a> <b>x</b> y <c/>&#32;<d> </d>z</a>", true},
      {"names with prefixes and no declaration", "<p:a xmlns:p=\"urn:p\" q:x=\"1\"><p:b/></p:a>", true},
      {"document type", "<!DOCTYPE a [<!ENTITY e \"v\">]><a>&e;</a>", false},
      {"comment", "<a><!-- c --></a>", false},
      {"nested as deep as a reader accepts", QByteArray("<a>").repeated(256) + QByteArray("</a>").repeated(256), true},
      {"nested deeper", QByteArray("<a>").repeated(257) + QByteArray("</a>").repeated(257), false},
      {"document type inside the root", "<a><!DOCTYPE a [<!ENTITY e \"v\">]><b>&e;</b></a>", false},
      {"not well-formed", "<a><b></a>", false},
      {"cut short", "<a><b>x</b>", false},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::optional<TXmlDocument> Quick = ScanPlainXmlDocument(Case.Page);
    ASSERT_EQ(Quick.has_value(), Case.Quick);
    if (Quick) {
      EXPECT_EQ(Quick->ToBytes().toStdString(), TXmlDocument::FromBytes(Case.Page, QStringLiteral("page")).ToBytes().toStdString());
    }
  }
}

// A U+FEFF is a character like any other once the document has begun.
TEST(SoapScanner, KeepsEveryU_FEFFOfAPage) {
  const QByteArray Page = "<a x=\"\xEF\xBB\xBFv\" y='&#xFEFF;'><b>&#xFEFF;w</b></a>";
  const std::optional<TXmlDocument> Quick = ScanPlainXmlDocument(Page);
  ASSERT_TRUE(Quick.has_value());
  const TXmlNode* Root = Quick->DocumentElement();
  EXPECT_EQ(Root->Attribute(QStringLiteral("x")), QStringLiteral("\uFEFFv"));
  EXPECT_EQ(Root->Attribute(QStringLiteral("y")), QStringLiteral("\uFEFF"));
  EXPECT_EQ(Root->ChildElement(QStringLiteral("b"))->Text(), QStringLiteral("\uFEFFw"));
}

}  // namespace
}  // namespace quillon
