#include "infra/xml/Support.Xml.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(Xml, WritesTwoSpaceIndentationAttributesInOrderAndTextOnItsLine) {
  TXmlDocument Xml;
  TXmlNode* Root = Xml.CreateDocumentElement(QStringLiteral("Database"));
  Root->SetAttribute(QStringLiteral("Server"), QStringLiteral("s"));
  Root->SetAttribute(QStringLiteral("DatabaseName"), QStringLiteral("d"));
  Root->SetAttribute(QStringLiteral("Server"), QStringLiteral("S2"));
  TXmlNode* Routines = Root->AddChild(QStringLiteral("ROUTINES"));
  Root->AddChild(QStringLiteral("EMPTY"));
  TXmlNode* Routine = Routines->AddChild(QStringLiteral("ROUTINE"));
  Routine->SetAttribute(QStringLiteral("ROUTINE_NAME"), QStringLiteral("a\"<&>\r\n\tb"));
  Routine->SetText(QStringLiteral("\r\nIF a<b AND c>d -- \"q\" & 'x'\r\n  RETURN\r\n"));
  EXPECT_EQ(Xml.ToBytes(),
            QByteArray("<?xml version=\"1.0\"?>\n"
                       "<Database Server=\"S2\" DatabaseName=\"d\">\n"
                       "  <ROUTINES>\n"
                       "    <ROUTINE ROUTINE_NAME=\"a&quot;&lt;&amp;&gt;&#xd;&#xa;&#x9;b\">&#xd;\n"
                       "IF a&lt;b AND c&gt;d -- \"q\" &amp; 'x'&#xd;\n"
                       "  RETURN&#xd;\n"
                       "</ROUTINE>\n"
                       "  </ROUTINES>\n"
                       "  <EMPTY/>\n"
                       "</Database>\n"));
}

TEST(Xml, WhatIsWrittenReadsBackExactly) {
  const QString Texts[] = {
      QStringLiteral("line\r\nbreaks\rand\nalone"),
      QStringLiteral("  leading and trailing blanks  "),
      QString::fromUtf8("Blåbær, 漢字 and \xF0\x9F\x98\x80 outside the basic plane"),
      QStringLiteral("]]> <![CDATA[ &amp; &#xd;"),
  };
  for (const QString& Text : Texts) {
    SCOPED_TRACE(Text.toStdString());
    TXmlDocument Xml;
    TXmlNode* Root = Xml.CreateDocumentElement(QStringLiteral("R"));
    Root->SetAttribute(QStringLiteral("A"), Text);
    Root->AddChild(QStringLiteral("T"))->SetText(Text);
    const TXmlDocument Read = TXmlDocument::FromBytes(Xml.ToBytes());
    EXPECT_EQ(Read.DocumentElement()->Attribute(QStringLiteral("A")), Text);
    EXPECT_EQ(Read.DocumentElement()->ChildElement(QStringLiteral("T"))->Text(), Text);
    EXPECT_EQ(Read.ToBytes(), Xml.ToBytes());
  }
}

TEST(Xml, CharactersXmlCannotCarryAreWrittenAsReplacementCharacters) {
  TXmlDocument Xml;
  Xml.CreateDocumentElement(QStringLiteral("R"))->SetText(QStringLiteral("form\x0C" "feed, nul ") + QChar(0) +
                                                          QChar(0xD800) + QStringLiteral(" end"));
  const TXmlDocument Read = TXmlDocument::FromBytes(Xml.ToBytes());
  EXPECT_EQ(Read.DocumentElement()->Text(),
            QStringLiteral("form") + QChar(0xFFFD) + QStringLiteral("feed, nul ") + QChar(0xFFFD) + QChar(0xFFFD) +
                QStringLiteral(" end"));
}

TEST(Xml, ReadingDropsWhiteSpaceBetweenElementsAndJoinsText) {
  const TXmlDocument Xml = TXmlDocument::FromBytes(
      "<?xml version=\"1.0\"?>\n<!-- note -->\n<R a='1'>\n  <A>x<![CDATA[<y>]]>z</A>\n  <B/>\n</R>");
  const TXmlNode* Root = Xml.DocumentElement();
  ASSERT_EQ(Root->ChildNodes().size(), 2u);
  EXPECT_EQ(Root->ChildElement(QStringLiteral("A"))->Text(), QStringLiteral("x<y>z"));
  EXPECT_EQ(Root->Text(), QStringLiteral("x<y>z"));
  EXPECT_EQ(Root->ChildElement(QStringLiteral("b")), nullptr);
  EXPECT_EQ(Root->Attribute(QStringLiteral("a")), QStringLiteral("1"));
  EXPECT_EQ(Root->Attribute(QStringLiteral("missing"), QStringLiteral("dflt")), QStringLiteral("dflt"));
  EXPECT_FALSE(Root->HasAttribute(QStringLiteral("missing")));
}

TEST(Xml, BadDocumentsRaiseTheParsersMessageAndPosition) {
  struct TCase {
    const char* Content;
    qint64 Line;
  } Cases[] = {
      {"", 1},
      {"<R>\n<A>\n</R>", 3},
      {"<R>\n<A x=\"1\" x=\"2\"/></R>", 2},
      {"<R></R><S/>", 1},
      {"<R>&undefined;</R>", 1},
      // Bounded entity expansion: nested entities that would grow without limit.
      {"<!DOCTYPE R [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
       "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
       "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><R>&c;</R>",
       1},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Content);
    try {
      TXmlDocument::FromBytes(Case.Content, QStringLiteral("page.xml"));
      ADD_FAILURE() << "no exception";
    } catch (const EXmlParseError& E) {
      EXPECT_EQ(E.Line(), Case.Line);
      EXPECT_FALSE(E.Reason().isEmpty());
      EXPECT_EQ(E.Message(), QStringLiteral("page.xml: %1 (line %2, column %3)").arg(E.Reason()).arg(E.Line()).arg(E.Column()));
    }
  }
}

// " a0='v' a1='v' ...": ACount distinct attributes.
QByteArray Attributes(qsizetype ACount) {
  QByteArray Result;
  for (qsizetype I = 0; I < ACount; ++I)
    Result += " a" + QByteArray::number(I) + "='v'";
  return Result;
}

QByteArray Utf16(const QByteArray& ALatin1) {
  const QString Text = QString::fromLatin1(ALatin1);
  return QByteArray(reinterpret_cast<const char*>(Text.utf16()), Text.size() * 2);
}

TEST(Xml, HostileDocumentsAreRefusedWhereTheyTurnHostile) {
  const struct {
    const char* Name;
    QByteArray Content;
    QString Reason;
    qint64 Line;
    qint64 Column;
  } Cases[] = {
      // The reader would drop their text without a word; nothing is ever fetched.
      {"external entity", "<?xml version=\"1.0\"?>\n<!DOCTYPE R [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><R>a&e;</R>",
       QStringLiteral("the external entity 'e' cannot be read"), 2, 54},
      {"entity the document does not declare", "<!DOCTYPE R SYSTEM \"r.dtd\">\n<R>a&u;</R>",
       QStringLiteral("the entity 'u' cannot be resolved"), 2, 7},
      {"nesting past the limit", "<R>\n" + QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000) + "</R>",
       QStringLiteral("elements are nested deeper than 256 levels"), 2, 768},
      {"attributes past the limit", "<R>\n <a" + Attributes(257) + "/></R>",
       QStringLiteral("an element carries more than 256 attributes"), 2, 2},
      {"too many in UTF-16", "\xFF\xFE" + Utf16("<R><a" + Attributes(257) + "/></R>"),
       QStringLiteral("an element carries more than 256 attributes"), 1, 4},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    try {
      TXmlDocument::FromBytes(Case.Content, QStringLiteral("snapshot.xml"));
      ADD_FAILURE() << "no exception";
    } catch (const EXmlParseError& E) {
      EXPECT_EQ(E.Reason(), Case.Reason);
      EXPECT_EQ(std::make_pair(E.Line(), E.Column()), std::make_pair(Case.Line, Case.Column));
    }
  }
}

// Only attributes count: equals signs in texts, values, comments, CDATA and declarations do not.
TEST(Xml, AnElementAtTheAttributeLimitIsReadWhateverElseHoldsEqualsSigns) {
  const QByteArray Many = QByteArray("=").repeated(1000);
  const QByteArray Document = "<?xml version=\"1.0\"?><!DOCTYPE R [<!-- " + Many + " --><!ENTITY e '" + Many +
                              "'>]><R><a" + Attributes(255) + " q='" + Many + "'/" + "><!-- " + Many + " --><![CDATA[" +
                              Many + "]]><?pi " + Many + "?>" + Many + "</R>";
  const TXmlDocument Read = TXmlDocument::FromBytes(Document);
  const TXmlNode* A = Read.DocumentElement()->ChildElement(QStringLiteral("a"));
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->Attributes().size(), 256);
  EXPECT_EQ(A->Attribute(QStringLiteral("q")), QString::fromLatin1(Many));
}

// Qt's reader alone would spend most of an hour on it.
TEST(Xml, AMillionAttributesAreRefusedAtOnce) {
  const QByteArray Document = "<R><a" + Attributes(1000000) + "/></R>";
  QElapsedTimer Timer;
  Timer.start();
  EXPECT_THROW(TXmlDocument::FromBytes(Document), EXmlParseError);
  EXPECT_LT(Timer.elapsed(), 2000);
}

TEST(Xml, ADocumentTypeIsRefusedWhereTheReaderIsToldTo) {
  const QByteArray Inside = "<R><A/><!DOCTYPE R [<!ENTITY e \"injected\">]><B>&e;</B></R>";
  EXPECT_EQ(TXmlDocument::FromBytes(Inside).DocumentElement()->Text(), QStringLiteral("injected"));
  EXPECT_THROW(TXmlDocument::FromBytes(Inside, QString(), TXmlDocumentType::Refused), EXmlParseError);
}

// A tree built in memory has no depth limit: freeing, text collection and writing must cope.
TEST(Xml, ADeepTreeIsWrittenReadForItsTextAndFreedWithoutRecursion) {
  constexpr int Depth = 200000;
  TXmlDocument Xml;
  TXmlNode* Node = Xml.CreateDocumentElement(QStringLiteral("R"));
  for (int I = 0; I < Depth; ++I) {
    Node->AddText(QStringLiteral("t"));
    Node = Node->AddChild(QStringLiteral("a"));
  }
  Node->SetText(QStringLiteral("leaf"));
  EXPECT_EQ(Xml.DocumentElement()->Text(), QString(Depth, u't') + QStringLiteral("leaf"));
  EXPECT_EQ(Xml.ToBytes(), "<?xml version=\"1.0\"?>\n<R>" + QByteArray("t<a>").repeated(Depth) + "leaf" +
                               QByteArray("</a>").repeated(Depth) + "</R>\n");
  Xml = TXmlDocument();
  EXPECT_EQ(Xml.DocumentElement(), nullptr);
}

TEST(Xml, FilesAreWrittenWholeOrNotAtAll) {
  QTemporaryDir Dir;
  const QString FileName = Dir.filePath(QStringLiteral("out.xml"));
  TXmlDocument Xml;
  Xml.CreateDocumentElement(QStringLiteral("R"))->SetAttribute(QStringLiteral("A"), QStringLiteral("1"));
  Xml.SaveToFile(FileName);
  EXPECT_EQ(TXmlDocument::FromFile(FileName).DocumentElement()->Attribute(QStringLiteral("A")), QStringLiteral("1"));
  EXPECT_THROW(Xml.SaveToFile(Dir.filePath(QStringLiteral("no/such/folder/out.xml"))), Exception);
  EXPECT_THROW(TXmlDocument::FromFile(Dir.filePath(QStringLiteral("missing.xml"))), Exception);
}

}  // namespace
}  // namespace quillon
