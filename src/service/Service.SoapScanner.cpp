// The quick reading of an ordinary SOAP answer, without a full XML parse.
#include "service/Service.SoapScanner.h"

#include "service/Service.Soap.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

using std::string_view;

bool IsSpace(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; }
bool IsNameStart(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_'; }
bool IsNameChar(char C) { return IsNameStart(C) || (C >= '0' && C <= '9') || C == '-' || C == '.'; }

bool IsXmlCodePoint(char32_t C) {
  return C == 0x9 || C == 0xA || C == 0xD || (C >= 0x20 && C <= 0xD7FF) || (C >= 0xE000 && C <= 0xFFFD) ||
         (C >= 0x10000 && C <= 0x10FFFF);
}

void AppendUtf8(QByteArray& AOut, char32_t C) {
  if (C < 0x80) {
    AOut += char(C);
  } else if (C < 0x800) {
    AOut += char(0xC0 | (C >> 6));
    AOut += char(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    AOut += char(0xE0 | (C >> 12));
    AOut += char(0x80 | ((C >> 6) & 0x3F));
    AOut += char(0x80 | (C & 0x3F));
  } else {
    AOut += char(0xF0 | (C >> 18));
    AOut += char(0x80 | ((C >> 12) & 0x3F));
    AOut += char(0x80 | ((C >> 6) & 0x3F));
    AOut += char(0x80 | (C & 0x3F));
  }
}

// The text of UTF-8 bytes, every character kept: QString::fromUtf8 drops a U+FEFF that opens
// the bytes, which here is the first character of a text or attribute, not a byte-order mark.
QString TextOfUtf8(const QByteArray& AUtf8) {
  QStringDecoder Decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
  return Decoder.decode(AUtf8);
}

// The bytes that end a plain run of character data: markup, references, carriage returns,
// the start of "]]>" and the control characters XML forbids.
constexpr auto TextStop = [] {
  std::array<bool, 256> Stop{};
  for (int C = 0; C < 0x20; ++C)
    Stop[C] = C != '\t' && C != '\n';
  for (const char C : {'<', '&', '\r', ']'})
    Stop[static_cast<unsigned char>(C)] = true;
  return Stop;
}();

// Thrown inside the scanner to hand the document to the full reader.
struct TDefer {};

struct TAttribute {
  string_view Name;
  string_view Value;  // as written, between the quotes
};

string_view PrefixOf(string_view AName) {
  const size_t Colon = AName.find(':');
  return Colon == string_view::npos ? string_view() : AName.substr(0, Colon);
}
string_view LocalOf(string_view AName) {
  const size_t Colon = AName.find(':');
  return Colon == string_view::npos ? AName : AName.substr(Colon + 1);
}

// One pass over the bytes with a stack of open elements: just enough of XML 1.0 to check a
// plain document for well-formedness. THandler hears of each start tag (Started), end
// (Ended) and piece of character data (Text, Character, LineBreak), and may defer too.
template <class THandler>
class TScanner {
public:
  TScanner(const QByteArray& ABody, THandler& AHandler)
      : FPos(ABody.constData()), FEnd(ABody.constData() + ABody.size()), FHandler(AHandler) {}

  void Scan() {
    CheckEncoding();
    SkipDeclaration();
    SkipSpace();
    if (FPos == FEnd || *FPos != '<')
      throw TDefer();
    ++FPos;
    StartTag();
    while (!FOpen.empty()) {
      if (FPos == FEnd)
        throw TDefer();
      if (*FPos != '<') {
        Text();
      } else if (FPos + 1 < FEnd && FPos[1] == '/') {
        FPos += 2;
        EndTag();
      } else {
        ++FPos;
        StartTag();
      }
    }
    SkipSpace();
    if (FPos != FEnd)
      throw TDefer();
  }

  size_t Depth() const { return FOpen.size(); }

  // An attribute value as a parser reports it: references resolved, and each literal tab,
  // line feed, carriage return or CR LF pair a blank.
  static QByteArray AttributeValue(string_view AValue) {
    QByteArray Result;
    Result.reserve(qsizetype(AValue.size()));
    for (const char* P = AValue.data(); P < AValue.data() + AValue.size();) {
      if (*P == '&') {
        AppendUtf8(Result, ReferenceAt(P, AValue.data() + AValue.size()));
      } else if (*P == '\r' || *P == '\n' || *P == '\t') {
        Result += ' ';
        if (*P == '\r' && P + 1 < AValue.data() + AValue.size() && P[1] == '\n')
          ++P;
        ++P;
      } else {
        Result += *P++;
      }
    }
    return Result;
  }

private:
  // Plain ASCII passes at once; other bytes must form well-formed UTF-8 of characters XML allows.
  void CheckEncoding() const {
    const auto* P = reinterpret_cast<const unsigned char*>(FPos);
    const auto* End = reinterpret_cast<const unsigned char*>(FEnd);
    while (P < End) {
      if (*P < 0x80) {
        while (End - P >= 8) {
          quint64 Word;
          memcpy(&Word, P, 8);
          if (Word & 0x8080808080808080ULL)
            break;
          P += 8;
        }
        while (P < End && *P < 0x80)
          ++P;
        continue;
      }
      int Extra;
      char32_t C;
      if (*P >= 0xC2 && *P <= 0xDF) {
        Extra = 1;
        C = *P & 0x1F;
      } else if (*P >= 0xE0 && *P <= 0xEF) {
        Extra = 2;
        C = *P & 0x0F;
      } else if (*P >= 0xF0 && *P <= 0xF4) {
        Extra = 3;
        C = *P & 0x07;
      } else {
        throw TDefer();
      }
      if (End - P <= Extra)
        throw TDefer();
      for (int I = 1; I <= Extra; ++I) {
        if ((P[I] & 0xC0) != 0x80)
          throw TDefer();
        C = (C << 6) | (P[I] & 0x3F);
      }
      const char32_t Least[] = {0, 0x80, 0x800, 0x10000};
      if (C < Least[Extra] || !IsXmlCodePoint(C))
        throw TDefer();
      P += Extra + 1;
    }
  }

  void SkipSpace() {
    while (FPos < FEnd && IsSpace(*FPos))
      ++FPos;
  }

  bool SkipLiteral(string_view ALiteral) {
    if (size_t(FEnd - FPos) < ALiteral.size() || string_view(FPos, ALiteral.size()) != ALiteral)
      return false;
    FPos += ALiteral.size();
    return true;
  }

  string_view Name() {
    const char* Start = FPos;
    if (FPos == FEnd || !IsNameStart(*FPos))
      throw TDefer();
    bool Colon = false;
    while (FPos < FEnd && (IsNameChar(*FPos) || *FPos == ':')) {
      if (*FPos == ':') {
        if (Colon || FPos + 1 == FEnd || !IsNameStart(FPos[1]))
          throw TDefer();
        Colon = true;
      }
      ++FPos;
    }
    return string_view(Start, FPos - Start);
  }

  // A quoted value without "<"; its references must be ones the scanner knows.
  string_view QuotedValue() {
    SkipSpace();
    if (FPos == FEnd || *FPos != '=')
      throw TDefer();
    ++FPos;
    SkipSpace();
    if (FPos == FEnd || (*FPos != '"' && *FPos != '\''))
      throw TDefer();
    const char Quote = *FPos++;
    const char* Start = FPos;
    while (FPos < FEnd && *FPos != Quote) {
      if (*FPos == '&') {
        ReferenceAt(FPos, FEnd);
        continue;
      }
      if (*FPos == '<' || (static_cast<unsigned char>(*FPos) < 0x20 && !IsSpace(*FPos)))
        throw TDefer();
      ++FPos;
    }
    if (FPos == FEnd)
      throw TDefer();
    return string_view(Start, FPos++ - Start);
  }

  // Only the declaration every SOAP stack writes: version 1.0, UTF-8, optionally standalone.
  void SkipDeclaration() {
    if (!SkipLiteral("<?xml"))
      return;
    std::vector<TAttribute> Pseudo;
    while (true) {
      const char* Before = FPos;
      SkipSpace();
      if (SkipLiteral("?>"))
        break;
      if (FPos == Before)
        throw TDefer();
      const string_view Key = Name();
      Pseudo.push_back({Key, QuotedValue()});
    }
    const auto Is = [&](size_t AIndex, string_view AKey) { return Pseudo.size() > AIndex && Pseudo[AIndex].Name == AKey; };
    if (!Is(0, "version") || Pseudo[0].Value != "1.0")
      throw TDefer();
    size_t Next = 1;
    if (Is(Next, "encoding")) {
      if (QByteArrayView(Pseudo[Next].Value.data(), qsizetype(Pseudo[Next].Value.size())).compare("utf-8", Qt::CaseInsensitive) != 0)
        throw TDefer();
      ++Next;
    }
    if (Is(Next, "standalone")) {
      if (Pseudo[Next].Value != "yes" && Pseudo[Next].Value != "no")
        throw TDefer();
      ++Next;
    }
    if (Next != Pseudo.size())
      throw TDefer();
  }

  // After "<": the name, the attributes, and either ">" or "/>".
  void StartTag() {
    const string_view Name = this->Name();
    FAttributes.clear();
    bool Empty = false;
    while (true) {
      const char* Before = FPos;
      SkipSpace();
      if (FPos == FEnd)
        throw TDefer();
      if (*FPos == '>') {
        ++FPos;
        break;
      }
      if (SkipLiteral("/>")) {
        Empty = true;
        break;
      }
      if (FPos == Before)
        throw TDefer();
      // The full reader says which element carries too many.
      if (qsizetype(FAttributes.size()) == MaxXmlAttributes)
        throw TDefer();
      const string_view Attribute = this->Name();
      FAttributes.push_back({Attribute, QuotedValue()});
    }
    FNames.clear();
    for (const TAttribute& A : FAttributes)
      FNames.push_back(A.Name);
    std::sort(FNames.begin(), FNames.end());
    if (std::adjacent_find(FNames.begin(), FNames.end()) != FNames.end())
      throw TDefer();
    // Nesting the full reader refuses is left to it, so that it says where.
    if (PrefixOf(Name).starts_with("xml") || qsizetype(FOpen.size()) == MaxXmlDepth)
      throw TDefer();
    FOpen.push_back(Name);
    FHandler.Started(*this, Name, FAttributes);
    if (Empty)
      Ended();
  }

  void EndTag() {
    const string_view Name = this->Name();
    SkipSpace();
    if (FPos == FEnd || *FPos != '>' || Name != FOpen.back())
      throw TDefer();
    ++FPos;
    Ended();
  }

  void Ended() {
    FHandler.Ended(*this);
    FOpen.pop_back();
  }

  // Character data up to the next "<": plain runs go to the handler whole, references and
  // line breaks (a CR LF pair or a lone CR reads as one line feed) one by one.
  void Text() {
    while (true) {
      const char* Run = FPos;
      while (FPos < FEnd && !TextStop[static_cast<unsigned char>(*FPos)])
        ++FPos;
      if (FPos > Run)
        FHandler.Text(string_view(Run, FPos - Run));
      if (FPos == FEnd || *FPos == '<')
        break;
      const char C = *FPos;
      if (C == '&') {
        FHandler.Character(ReferenceAt(FPos, FEnd));
      } else if (C == '\r') {
        ++FPos;
        if (FPos < FEnd && *FPos == '\n')
          ++FPos;
        FHandler.Text("\n");
      } else if (C == ']' && !(FEnd - FPos >= 3 && FPos[1] == ']' && FPos[2] == '>')) {
        FHandler.Text("]");
        ++FPos;
      } else {
        throw TDefer();  // "]]>" or a control character
      }
    }
  }

  // The reference at AAt, which it passes.
  static char32_t ReferenceAt(const char*& AAt, const char* AEnd) {
    const char* Semicolon = static_cast<const char*>(memchr(AAt, ';', std::min<qsizetype>(AEnd - AAt, 12)));
    if (!Semicolon)
      throw TDefer();
    const string_view Body(AAt + 1, Semicolon - AAt - 1);
    AAt = Semicolon + 1;
    if (Body == "amp")
      return '&';
    if (Body == "lt")
      return '<';
    if (Body == "gt")
      return '>';
    if (Body == "quot")
      return '"';
    if (Body == "apos")
      return '\'';
    if (Body.size() < 2 || Body[0] != '#')
      throw TDefer();
    const bool Hex = Body[1] == 'x';
    const string_view Digits = Body.substr(Hex ? 2 : 1);
    if (Digits.empty() || Digits.size() > 8)
      throw TDefer();
    char32_t Code = 0;
    for (const char D : Digits) {
      int Value;
      if (D >= '0' && D <= '9')
        Value = D - '0';
      else if (Hex && D >= 'a' && D <= 'f')
        Value = D - 'a' + 10;
      else if (Hex && D >= 'A' && D <= 'F')
        Value = D - 'A' + 10;
      else
        throw TDefer();
      Code = Code * (Hex ? 16 : 10) + char32_t(Value);
    }
    if (!IsXmlCodePoint(Code))
      throw TDefer();
    return Code;
  }

  const char* FPos;
  const char* FEnd;
  THandler& FHandler;
  std::vector<string_view> FOpen;
  std::vector<TAttribute> FAttributes;
  std::vector<string_view> FNames;
};

// Follows the answer's shape as the full SOAP reader does: the first SOAP body among the
// envelope's children, the wrapper as the body's first element, the result elements as the
// wrapper's children. Resolves the namespaces of the elements it looks at.
class TSoapAnswerHandler {
public:
  TSoapAnswerHandler(const QString& AWrapper, const char* AResultElement)
      : FWrapper(AWrapper.toUtf8()), FResultElement(AResultElement ? string_view(AResultElement) : string_view()) {}

  template <class TScan>
  void Started(const TScan& AScanner, string_view AName, const std::vector<TAttribute>& AAttributes) {
    static const QByteArray Envelope = SoapEnvelopeNamespace.toUtf8();
    static const QByteArray Ostrel = OstrelNamespace.toUtf8();
    if (FCapturing)
      throw TDefer();  // the result element must hold text only
    FBindingsBefore.push_back(FBindings.size());
    for (const TAttribute& A : AAttributes) {
      if (A.Value.find('&') != string_view::npos)
        throw TDefer();
      if (A.Name == "xmlns") {
        FBindings.push_back({string_view(), A.Value});
      } else if (PrefixOf(A.Name) == "xmlns") {
        if (A.Value.empty() || LocalOf(A.Name).starts_with("xml"))
          throw TDefer();
        FBindings.push_back({LocalOf(A.Name), A.Value});
      } else if (!PrefixOf(A.Name).empty()) {
        throw TDefer();
      }
    }
    const string_view Uri = Resolve(PrefixOf(AName));
    const string_view Local = LocalOf(AName);
    const auto IsSoap = [&] { return Uri == string_view(Envelope.constData(), Envelope.size()); };
    const size_t Depth = AScanner.Depth();
    if (Depth == 1) {
      if (Local != "Envelope" || !IsSoap())
        throw TDefer();
    } else if (Depth == 2 && FState == stSeekBody && Local == "Body" && IsSoap()) {
      FState = stBodyOpen;
    } else if (Depth == 3 && FState == stBodyOpen) {
      if (Local != string_view(FWrapper.constData(), FWrapper.size()) || Uri != string_view(Ostrel.constData(), Ostrel.size()))
        throw TDefer();  // a fault, or not the expected answer
      FState = stInWrapper;
    } else if (Depth == 4 && FState == stInWrapper && !FResultElement.empty() && Local == FResultElement) {
      FResult.clear();
      FCapturing = true;
    }
  }

  template <class TScan>
  void Ended(const TScan& AScanner) {
    const size_t Depth = AScanner.Depth();
    FBindings.resize(FBindingsBefore.back());
    FBindingsBefore.pop_back();
    FCapturing = false;
    if (Depth == 2 && FState == stBodyOpen)
      throw TDefer();  // an empty body
    if (Depth == 3 && FState == stInWrapper)
      FState = stDone;
  }

  void Text(string_view AText) {
    if (FCapturing)
      FResult.append(AText.data(), qsizetype(AText.size()));
  }
  void Character(char32_t ACode) {
    if (FCapturing)
      AppendUtf8(FResult, ACode);
  }

  QString Result() const {
    if (FState != stDone)
      throw TDefer();
    return TextOfUtf8(FResult);
  }

private:
  enum TState { stSeekBody, stBodyOpen, stInWrapper, stDone };
  struct TBinding {
    string_view Prefix;
    string_view Uri;
  };

  string_view Resolve(string_view APrefix) const {
    for (auto It = FBindings.rbegin(); It != FBindings.rend(); ++It)
      if (It->Prefix == APrefix)
        return It->Uri;
    if (!APrefix.empty())
      throw TDefer();
    return {};
  }

  QByteArray FWrapper;
  string_view FResultElement;
  std::vector<TBinding> FBindings;
  std::vector<size_t> FBindingsBefore;
  TState FState = stSeekBody;
  bool FCapturing = false;
  QByteArray FResult;
};

// Builds the tree as TXmlDocument::FromBytes does without namespace processing: qualified
// names, attributes in order, the character data between two tags as one text unless it is
// all white space.
class TTreeHandler {
public:
  explicit TTreeHandler(TXmlDocument& ADocument) : FDocument(ADocument) {}

  template <class TScan>
  void Started(const TScan&, string_view AName, const std::vector<TAttribute>& AAttributes) {
    FlushText();
    const QString Name = QString::fromUtf8(AName.data(), qsizetype(AName.size()));
    FCurrent = FCurrent ? FCurrent->AddChild(Name) : FDocument.CreateDocumentElement(Name);
    for (const TAttribute& A : AAttributes)
      FCurrent->SetAttribute(QString::fromUtf8(A.Name.data(), qsizetype(A.Name.size())),
                             TextOfUtf8(TScan::AttributeValue(A.Value)));
  }

  template <class TScan>
  void Ended(const TScan&) {
    FlushText();
    FCurrent = FCurrent->ParentNode();
  }

  void Text(string_view AText) {
    FPendingText.append(AText.data(), qsizetype(AText.size()));
    FWhiteOnly = FWhiteOnly && std::all_of(AText.begin(), AText.end(), IsSpace);
  }
  void Character(char32_t ACode) {
    AppendUtf8(FPendingText, ACode);
    FWhiteOnly = FWhiteOnly && ACode < 0x80 && IsSpace(char(ACode));
  }

private:
  void FlushText() {
    if (!FPendingText.isEmpty() && !FWhiteOnly)
      FCurrent->AddText(TextOfUtf8(FPendingText));
    FPendingText.clear();
    FWhiteOnly = true;
  }

  TXmlDocument& FDocument;
  TXmlNode* FCurrent = nullptr;
  QByteArray FPendingText;
  bool FWhiteOnly = true;
};

}  // namespace

std::optional<QString> ScanPlainSoapAnswer(const QByteArray& ABody, const QString& AWrapper, const char* AResultElement) {
  try {
    TSoapAnswerHandler Handler(AWrapper, AResultElement);
    TScanner<TSoapAnswerHandler>(ABody, Handler).Scan();
    return Handler.Result();
  } catch (const TDefer&) {
    return std::nullopt;
  }
}

std::optional<TXmlDocument> ScanPlainXmlDocument(const QByteArray& AData) {
  try {
    TXmlDocument Document;
    TTreeHandler Handler(Document);
    TScanner<TTreeHandler>(AData, Handler).Scan();
    return Document;
  } catch (const TDefer&) {
    return std::nullopt;
  }
}

}  // namespace quillon
