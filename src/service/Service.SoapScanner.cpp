#include "service/Service.SoapScanner.h"

#include "service/Service.Soap.h"

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

// One pass over the bytes with a stack of open elements and of namespace declarations: just
// enough of XML 1.0 with namespaces to check an ordinary answer for well-formedness.
class TScanner {
public:
  TScanner(const QByteArray& ABody, const QString& AWrapper, const char* AResultElement)
      : FPos(ABody.constData()), FEnd(ABody.constData() + ABody.size()), FWrapper(AWrapper.toUtf8()),
        FResultElement(AResultElement ? string_view(AResultElement) : string_view()) {}

  QString Scan() {
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
    if (FPos != FEnd || FState < stDone)
      throw TDefer();
    return QString::fromUtf8(FResult);
  }

private:
  enum TState { stSeekBody, stBodyOpen, stInWrapper, stDone };

  struct TOpen {
    string_view Name;
    size_t Bindings;
  };
  struct TBinding {
    string_view Prefix;
    string_view Uri;
  };
  struct TAttribute {
    string_view Name;
    string_view Value;
  };

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

  // A quoted value without references or "<": anything else goes to the full reader.
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
      if (*FPos == '<' || *FPos == '&' || (static_cast<unsigned char>(*FPos) < 0x20 && !IsSpace(*FPos)))
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

  string_view Resolve(string_view APrefix) const {
    for (auto It = FBindings.rbegin(); It != FBindings.rend(); ++It)
      if (It->Prefix == APrefix)
        return It->Uri;
    if (!APrefix.empty())
      throw TDefer();
    return {};
  }

  static string_view PrefixOf(string_view AName) {
    const size_t Colon = AName.find(':');
    return Colon == string_view::npos ? string_view() : AName.substr(0, Colon);
  }
  static string_view LocalOf(string_view AName) {
    const size_t Colon = AName.find(':');
    return Colon == string_view::npos ? AName : AName.substr(Colon + 1);
  }

  // After "<": the name, the attributes (declarations bind before the name is resolved) and
  // either ">" or "/>".
  void StartTag() {
    if (FCapturing)
      throw TDefer();  // the result element must hold text only
    const string_view Name = this->Name();
    const size_t BindingsBefore = FBindings.size();
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
      const string_view Attribute = this->Name();
      FAttributes.push_back({Attribute, QuotedValue()});
    }
    for (size_t I = 0; I < FAttributes.size(); ++I) {
      const TAttribute& A = FAttributes[I];
      for (size_t J = 0; J < I; ++J)
        if (FAttributes[J].Name == A.Name ||
            (!PrefixOf(A.Name).empty() && !PrefixOf(FAttributes[J].Name).empty() && LocalOf(A.Name) == LocalOf(FAttributes[J].Name)))
          throw TDefer();
      if (A.Name == "xmlns") {
        FBindings.push_back({string_view(), A.Value});
      } else if (PrefixOf(A.Name) == "xmlns") {
        if (A.Value.empty() || LocalOf(A.Name).starts_with("xml"))
          throw TDefer();
        FBindings.push_back({LocalOf(A.Name), A.Value});
      } else if (PrefixOf(A.Name).starts_with("xml")) {
        throw TDefer();
      }
    }
    for (const TAttribute& A : FAttributes)
      if (const string_view Prefix = PrefixOf(A.Name); !Prefix.empty() && Prefix != "xmlns")
        Resolve(Prefix);
    if (PrefixOf(Name).starts_with("xml"))
      throw TDefer();
    const string_view Uri = Resolve(PrefixOf(Name));
    FOpen.push_back({Name, BindingsBefore});
    Started(LocalOf(Name), Uri);
    if (Empty)
      Ended();
  }

  void EndTag() {
    const string_view Name = this->Name();
    SkipSpace();
    if (FPos == FEnd || *FPos != '>' || Name != FOpen.back().Name)
      throw TDefer();
    ++FPos;
    Ended();
  }

  // Follows the answer's shape as the full reader does: the first SOAP body among the
  // envelope's children, the wrapper as the body's first element, the result elements as the
  // wrapper's children.
  void Started(string_view ALocal, string_view AUri) {
    static const QByteArray Envelope = SoapEnvelopeNamespace.toUtf8();
    static const QByteArray Ostrel = OstrelNamespace.toUtf8();
    const auto IsSoap = [&] { return AUri == string_view(Envelope.constData(), Envelope.size()); };
    const size_t Depth = FOpen.size();
    if (Depth == 1) {
      if (ALocal != "Envelope" || !IsSoap())
        throw TDefer();
    } else if (Depth == 2 && FState == stSeekBody && ALocal == "Body" && IsSoap()) {
      FState = stBodyOpen;
    } else if (Depth == 3 && FState == stBodyOpen) {
      if (ALocal != string_view(FWrapper.constData(), FWrapper.size()) ||
          AUri != string_view(Ostrel.constData(), Ostrel.size()))
        throw TDefer();  // a fault, or not the expected answer
      FState = stInWrapper;
    } else if (Depth == 4 && FState == stInWrapper && !FResultElement.empty() && ALocal == FResultElement) {
      FResult.clear();
      FResult.reserve(FEnd - FPos);
      FCapturing = true;
    }
  }

  void Ended() {
    const size_t Depth = FOpen.size();
    FBindings.resize(FOpen.back().Bindings);
    FOpen.pop_back();
    FCapturing = false;
    if (Depth == 2 && FState == stBodyOpen)
      throw TDefer();  // an empty body
    if (Depth == 3 && FState == stInWrapper)
      FState = stDone;
  }

  // Character data up to the next "<", with its references resolved and its line breaks
  // normalized when it is the result. Plain runs are copied whole.
  void Text() {
    const char* Run = FPos;
    const auto Flush = [&] {
      if (FCapturing)
        FResult.append(Run, FPos - Run);
    };
    while (true) {
      while (FPos < FEnd && !TextStop[static_cast<unsigned char>(*FPos)])
        ++FPos;
      if (FPos == FEnd || *FPos == '<')
        break;
      const char C = *FPos;
      if (C == '&' || C == '\r') {
        Flush();
        if (C == '&') {
          const char32_t Code = Reference();
          if (FCapturing)
            AppendUtf8(FResult, Code);
        } else {
          ++FPos;
          if (FPos < FEnd && *FPos == '\n')
            ++FPos;
          if (FCapturing)
            FResult += '\n';
        }
        Run = FPos;
        continue;
      }
      if (C != ']')
        throw TDefer();  // a control character
      if (FEnd - FPos >= 3 && FPos[1] == ']' && FPos[2] == '>')
        throw TDefer();
      ++FPos;
    }
    Flush();
  }

  char32_t Reference() {
    const char* Semicolon = static_cast<const char*>(memchr(FPos, ';', std::min<qsizetype>(FEnd - FPos, 12)));
    if (!Semicolon)
      throw TDefer();
    const string_view Body(FPos + 1, Semicolon - FPos - 1);
    FPos = Semicolon + 1;
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
  QByteArray FWrapper;
  string_view FResultElement;
  std::vector<TOpen> FOpen;
  std::vector<TBinding> FBindings;
  std::vector<TAttribute> FAttributes;
  TState FState = stSeekBody;
  bool FCapturing = false;
  QByteArray FResult;
};

}  // namespace

std::optional<QString> ScanPlainSoapAnswer(const QByteArray& ABody, const QString& AWrapper, const char* AResultElement) {
  try {
    return TScanner(ABody, AWrapper, AResultElement).Scan();
  } catch (const TDefer&) {
    return std::nullopt;
  }
}

}  // namespace quillon
