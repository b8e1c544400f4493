// Reading XML from outside the program safely: a parsed document of nodes and attributes,
// with limits on nesting and no document type declarations.
#include "infra/xml/Support.Xml.h"

#include "infra/text/Support.Format.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>

namespace quillon {

EXmlParseError::EXmlParseError(const QString& ASource, const QString& AReason, qint64 ALine, qint64 AColumn)
    : Exception(ASource.isEmpty()
                    ? Format(QStringLiteral("%s (line %d, column %d)"), {AReason, ALine, AColumn})
                    : Format(QStringLiteral("%s: %s (line %d, column %d)"), {ASource, AReason, ALine, AColumn})),
      FReason(AReason),
      FLine(ALine),
      FColumn(AColumn) {}

TXmlNode::TXmlNode(TNodeType AType, QString ANameOrText, TXmlNode* AParent)
    : FType(AType), FNameOrText(std::move(ANameOrText)), FParent(AParent) {}

// Each node is taken apart before it dies, so freeing a deep tree never recurses.
TXmlNode::~TXmlNode() {
  std::vector<std::unique_ptr<TXmlNode>> Pending = std::move(FChildren);
  while (!Pending.empty()) {
    const std::unique_ptr<TXmlNode> Node = std::move(Pending.back());
    Pending.pop_back();
    std::move(Node->FChildren.begin(), Node->FChildren.end(), std::back_inserter(Pending));
    Node->FChildren.clear();
  }
}

QString TXmlNode::NodeName() const { return FType == ntElement ? FNameOrText : QStringLiteral("#text"); }

bool TXmlNode::HasAttribute(const QString& AName) const {
  for (const TXmlAttribute& Attr : FAttributes)
    if (Attr.Name == AName)
      return true;
  return false;
}

QString TXmlNode::Attribute(const QString& AName) const { return Attribute(AName, QString()); }

QString TXmlNode::Attribute(const QString& AName, const QString& ADefault) const {
  for (const TXmlAttribute& Attr : FAttributes)
    if (Attr.Name == AName)
      return Attr.Value;
  return ADefault;
}

void TXmlNode::SetAttribute(const QString& AName, const QString& AValue) {
  for (TXmlAttribute& Attr : FAttributes)
    if (Attr.Name == AName) {
      Attr.Value = AValue;
      return;
    }
  FAttributes.append({AName, AValue});
}

TXmlNode* TXmlNode::AddChild(const QString& AName) {
  FChildren.push_back(std::make_unique<TXmlNode>(ntElement, AName, this));
  return FChildren.back().get();
}

void TXmlNode::AddText(const QString& AText) { FChildren.push_back(std::make_unique<TXmlNode>(ntText, AText, this)); }

void TXmlNode::ClearChildren() { FChildren.clear(); }

TXmlNode* TXmlNode::ChildElement(const QString& AName) const {
  for (const auto& Child : FChildren)
    if (Child->FType == ntElement && Child->FNameOrText == AName)
      return Child.get();
  return nullptr;
}

QString TXmlNode::Text() const {
  if (FType == ntText)
    return FNameOrText;
  if (FChildren.size() == 1 && FChildren.front()->FType == ntText)
    return FChildren.front()->FNameOrText;
  // Depth first with a stack of its own: the texts of a deep tree must not cost the call stack.
  QString Result;
  std::vector<const TXmlNode*> Pending{this};
  while (!Pending.empty()) {
    const TXmlNode* Node = Pending.back();
    Pending.pop_back();
    if (Node->FType == ntText)
      Result += Node->FNameOrText;
    for (auto It = Node->FChildren.rbegin(); It != Node->FChildren.rend(); ++It)
      Pending.push_back(It->get());
  }
  return Result;
}

void TXmlNode::SetText(const QString& AText) {
  FChildren.clear();
  if (!AText.isEmpty())
    AddText(AText);
}

TXmlNode* TXmlDocument::CreateDocumentElement(const QString& AName) {
  FRoot = std::make_unique<TXmlNode>(TXmlNode::ntElement, AName, nullptr);
  return FRoot.get();
}

TXmlTokenGuard::TXmlTokenGuard(TXmlDocumentType ADocumentType, const QString& ASource)
    : FDocumentType(ADocumentType), FSource(ASource) {}

void TXmlTokenGuard::Check(const QXmlStreamReader& AReader) {
  switch (AReader.tokenType()) {
    case QXmlStreamReader::StartElement:
      if (++FDepth > MaxXmlDepth)
        Refuse(AReader, Format(QStringLiteral("elements are nested deeper than %d levels"), {MaxXmlDepth}));
      break;
    case QXmlStreamReader::EndElement:
      --FDepth;
      break;
    case QXmlStreamReader::DTD:
      if (FDocumentType == TXmlDocumentType::Refused)
        Refuse(AReader, QStringLiteral("a document type declaration is not accepted"));
      // The reader would expand a reference to an external entity to nothing, without a word.
      for (const QXmlStreamEntityDeclaration& Entity : AReader.entityDeclarations())
        if (!Entity.systemId().isEmpty() || !Entity.publicId().isEmpty())
          Refuse(AReader, Format(QStringLiteral("the external entity '%s' cannot be read"), {Entity.name().toString()}));
      break;
    case QXmlStreamReader::EntityReference:
      Refuse(AReader, Format(QStringLiteral("the entity '%s' cannot be resolved"), {AReader.name().toString()}));
    default:
      break;
  }
}

void TXmlTokenGuard::Refuse(const QXmlStreamReader& AReader, const QString& AReason) const {
  throw EXmlParseError(FSource, AReason, AReader.lineNumber(), AReader.columnNumber());
}

namespace {

bool IsXmlWhiteSpace(const QString& AText) {
  for (const QChar C : AText)
    if (C != u' ' && C != u'\t' && C != u'\n' && C != u'\r')
      return false;
  return true;
}

class TXmlTreeBuilder {
public:
  TXmlTreeBuilder(TXmlDocument& ADocument, TXmlTokenGuard& AGuard) : FDocument(ADocument), FGuard(AGuard) {}

  void Run(QXmlStreamReader& AReader) {
    while (!AReader.atEnd()) {
      AReader.readNext();
      FGuard.Check(AReader);
      switch (AReader.tokenType()) {
        case QXmlStreamReader::StartElement:
          StartElement(AReader);
          break;
        case QXmlStreamReader::EndElement:
          FlushText();
          FCurrent = FCurrent->ParentNode();
          break;
        case QXmlStreamReader::Characters:
          if (FCurrent)
            FPendingText += AReader.text();
          break;
        default:
          break;
      }
    }
  }

private:
  void StartElement(QXmlStreamReader& AReader) {
    FlushText();
    const QString Name = AReader.qualifiedName().toString();
    FCurrent = FCurrent ? FCurrent->AddChild(Name) : FDocument.CreateDocumentElement(Name);
    for (const QXmlStreamAttribute& Attr : AReader.attributes())
      FCurrent->SetAttribute(Attr.qualifiedName().toString(), Attr.value().toString());
  }

  void FlushText() {
    if (FPendingText.isEmpty())
      return;
    if (!IsXmlWhiteSpace(FPendingText))
      FCurrent->AddText(FPendingText);
    FPendingText.clear();
  }

  TXmlDocument& FDocument;
  TXmlTokenGuard& FGuard;
  TXmlNode* FCurrent = nullptr;
  QString FPendingText;
};

// Writes the tree as UTF-8 in chunks, so that a large document is never held twice in full.
// Escaping and encoding happen in one pass over each text.
class TXmlWriter {
public:
  explicit TXmlWriter(QIODevice& ADevice) : FDevice(ADevice) { FBuffer.reserve(ChunkSize + ChunkSize / 4); }

  void WriteDocument(const TXmlNode* ARoot) {
    FBuffer += "<?xml version=\"1.0\"?>\n";
    if (ARoot) {
      WriteTree(*ARoot);
      FBuffer += '\n';
    }
    Flush();
  }

private:
  static constexpr qsizetype ChunkSize = 1 << 20;
  enum TMode { mName, mText, mAttribute };

  // An element whose start tag is written and whose children are being written; its depth is
  // its place on the stack.
  struct TOpenElement {
    const TXmlNode* Node;
    size_t NextChild;
    bool HasText;
  };

  // With a stack of its own rather than recursion, so a deep tree cannot exhaust the call stack.
  void WriteTree(const TXmlNode& ARoot) {
    std::vector<TOpenElement> Open;
    Enter(ARoot, Open);
    while (!Open.empty()) {
      TOpenElement& Top = Open.back();
      const auto& Children = Top.Node->ChildNodes();
      if (Top.NextChild == Children.size()) {
        WriteEndTag(Top, Open.size() - 1);
        Open.pop_back();
        continue;
      }
      const TXmlNode& Child = *Children[Top.NextChild++];
      if (!Top.HasText) {
        FBuffer += '\n';
        FBuffer.append(2 * Open.size(), ' ');
      }
      if (Child.IsElement())
        Enter(Child, Open);
      else
        Write(Child.Text(), mText);
      if (FBuffer.size() >= ChunkSize)
        Flush();
    }
  }

  // Writes the start tag, or the whole element when it is empty; an element with children
  // goes on the stack.
  void Enter(const TXmlNode& ANode, std::vector<TOpenElement>& AOpen) {
    FBuffer += '<';
    Write(ANode.NodeName(), mName);
    for (const TXmlAttribute& Attr : ANode.Attributes()) {
      FBuffer += ' ';
      Write(Attr.Name, mName);
      FBuffer += "=\"";
      Write(Attr.Value, mAttribute);
      FBuffer += '"';
    }
    const auto& Children = ANode.ChildNodes();
    if (Children.empty()) {
      FBuffer += "/>";
      return;
    }
    FBuffer += '>';
    const bool HasText = std::any_of(Children.begin(), Children.end(), [](const auto& C) { return !C->IsElement(); });
    AOpen.push_back({&ANode, 0, HasText});
  }

  void WriteEndTag(const TOpenElement& AElement, size_t ADepth) {
    if (!AElement.HasText) {
      FBuffer += '\n';
      FBuffer.append(2 * ADepth, ' ');
    }
    FBuffer += "</";
    Write(AElement.Node->NodeName(), mName);
    FBuffer += '>';
  }

  // The escape of an ASCII character in AMode; nullptr when it is written as it is, "" when
  // XML cannot carry it at all.
  static const char* AsciiEscape(char16_t C, TMode AMode) {
    switch (C) {
      case u'&': return "&amp;";
      case u'<': return "&lt;";
      case u'>': return "&gt;";
      case u'\r': return "&#xd;";
      case u'"': return AMode == mAttribute ? "&quot;" : nullptr;
      case u'\n': return AMode == mAttribute ? "&#xa;" : nullptr;
      case u'\t': return AMode == mAttribute ? "&#x9;" : nullptr;
      default: return C < 0x20 ? "" : nullptr;
    }
  }

  void Write(QStringView AText, TMode AMode) {
    static constexpr char Replacement[] = "\xEF\xBF\xBD";
    const char16_t* P = AText.utf16();
    const char16_t* const End = P + AText.size();
    const qsizetype Start = FBuffer.size();
    // Six bytes per code unit is the longest anything here becomes ("&quot;").
    FBuffer.resize(Start + 6 * AText.size());
    char* Out = FBuffer.data() + Start;
    while (P < End) {
      const char16_t C = *P++;
      if (C < 0x80) {
        const char* Escape = AMode == mName ? nullptr : AsciiEscape(C, AMode);
        if (!Escape)
          *Out++ = static_cast<char>(C);
        else
          for (const char* E = *Escape ? Escape : Replacement; *E; ++E)
            *Out++ = *E;
      } else if (C < 0x800) {
        *Out++ = static_cast<char>(0xC0 | (C >> 6));
        *Out++ = static_cast<char>(0x80 | (C & 0x3F));
      } else if (QChar::isHighSurrogate(C) && P < End && QChar::isLowSurrogate(*P)) {
        const char32_t U = QChar::surrogateToUcs4(C, *P++);
        *Out++ = static_cast<char>(0xF0 | (U >> 18));
        *Out++ = static_cast<char>(0x80 | ((U >> 12) & 0x3F));
        *Out++ = static_cast<char>(0x80 | ((U >> 6) & 0x3F));
        *Out++ = static_cast<char>(0x80 | (U & 0x3F));
      } else if (QChar::isSurrogate(C) || C == 0xFFFE || C == 0xFFFF) {
        for (const char* E = Replacement; *E; ++E)
          *Out++ = *E;
      } else {
        *Out++ = static_cast<char>(0xE0 | (C >> 12));
        *Out++ = static_cast<char>(0x80 | ((C >> 6) & 0x3F));
        *Out++ = static_cast<char>(0x80 | (C & 0x3F));
      }
    }
    FBuffer.truncate(Out - FBuffer.constData());
  }

  void Flush() {
    if (FDevice.write(FBuffer) != FBuffer.size())
      throw Exception(Format(QStringLiteral("Cannot write XML: %s"), {FDevice.errorString()}));
    FBuffer.truncate(0);
  }

  QIODevice& FDevice;
  QByteArray FBuffer;
};

}  // namespace

namespace {

// Finds the first start tag holding more than MaxXmlAttributes attribute values, skipping
// comments, CDATA sections, processing instructions and declarations (quoted values and an
// internal subset included). Counts the equals signs outside quotes: a well-formed tag has one
// per attribute, and a tag that is not well-formed is left for the reader to report.
template <class TChar>
const TChar* FindCrowdedElement(const TChar* AStart, const TChar* AEnd) {
  const auto StartsWith = [AEnd](const TChar* AAt, std::string_view ALiteral) {
    return AEnd - AAt >= qsizetype(ALiteral.size()) && std::equal(ALiteral.begin(), ALiteral.end(), AAt);
  };
  const auto SkipPast = [AEnd](const TChar* AFrom, std::string_view ALiteral) {
    const TChar* Found = std::search(AFrom, AEnd, ALiteral.begin(), ALiteral.end());
    return Found == AEnd ? AEnd : Found + ALiteral.size();
  };
  // From an opening quote to just after its closing one.
  const auto SkipQuoted = [AEnd](const TChar* AQuote) {
    const TChar* Close = std::find(AQuote + 1, AEnd, *AQuote);
    return Close == AEnd ? AEnd : Close + 1;
  };
  const TChar* P = AStart;
  while ((P = std::find(P, AEnd, TChar('<'))) != AEnd) {
    if (StartsWith(P, "<!--")) {
      P = SkipPast(P + 4, "-->");
    } else if (StartsWith(P, "<![CDATA[")) {
      P = SkipPast(P + 9, "]]>");
    } else if (StartsWith(P, "<?")) {
      P = SkipPast(P + 2, "?>");
    } else if (StartsWith(P, "<!")) {
      qsizetype Brackets = 0;
      for (P += 2; P < AEnd && (*P != '>' || Brackets > 0);) {
        if (*P == '"' || *P == '\'') {
          P = SkipQuoted(P);
          continue;
        }
        if (StartsWith(P, "<!--")) {
          P = SkipPast(P + 4, "-->");
          continue;
        }
        Brackets += *P == '[' ? 1 : *P == ']' ? -1 : 0;
        ++P;
      }
    } else {
      const TChar* Tag = P;
      qsizetype Values = 0;
      for (++P; P < AEnd && *P != '>';) {
        if (*P == '"' || *P == '\'') {
          P = SkipQuoted(P);
          continue;
        }
        if (*P == '=' && ++Values > MaxXmlAttributes)
          return Tag;
        ++P;
      }
    }
  }
  return nullptr;
}

template <class TChar>
void RefuseCrowdedElementsIn(const TChar* AStart, const TChar* AEnd, const QString& ASource) {
  const TChar* Crowded = FindCrowdedElement(AStart, AEnd);
  if (!Crowded)
    return;
  const qint64 Line = 1 + std::count(AStart, Crowded, TChar('\n'));
  const TChar* LineStart = std::find(std::make_reverse_iterator(Crowded), std::make_reverse_iterator(AStart), TChar('\n')).base();
  throw EXmlParseError(ASource, Format(QStringLiteral("an element carries more than %d attributes"), {MaxXmlAttributes}),
                       Line, Crowded - LineStart + 1);
}

}  // namespace

void RefuseCrowdedElements(const QByteArray& AData, const QString& ASource) {
  // A document in UTF-16 or UTF-32 is looked at in characters, since its bytes say nothing.
  const std::optional<QStringConverter::Encoding> Encoding = QStringConverter::encodingForData(AData, u'<');
  if (Encoding && *Encoding != QStringConverter::Utf8 && *Encoding != QStringConverter::Latin1) {
    const QString Text = QStringDecoder(*Encoding).decode(AData);
    const char16_t* Start = reinterpret_cast<const char16_t*>(Text.constData());
    RefuseCrowdedElementsIn(Start, Start + Text.size(), ASource);
    return;
  }
  RefuseCrowdedElementsIn(AData.constData(), AData.constData() + AData.size(), ASource);
}

TXmlDocument TXmlDocument::FromBytes(const QByteArray& AData, const QString& ASourceName,
                                     TXmlDocumentType ADocumentType) {
  RefuseCrowdedElements(AData, ASourceName);
  TXmlDocument Result;
  // Through a device the reader decodes a few kilobytes at a time; given the bytes themselves
  // it would decode the whole document at once, twice its size again in UTF-16.
  QBuffer Input;
  Input.setData(AData);
  Input.open(QIODevice::ReadOnly);
  QXmlStreamReader Reader(&Input);
  Reader.setNamespaceProcessing(false);
  TXmlTokenGuard Guard(ADocumentType, ASourceName);
  TXmlTreeBuilder(Result, Guard).Run(Reader);
  if (Reader.hasError())
    throw EXmlParseError(ASourceName, Reader.errorString(), Reader.lineNumber(), Reader.columnNumber());
  return Result;
}

TXmlDocument TXmlDocument::FromFile(const QString& AFileName) {
  QFile File(AFileName);
  if (!File.open(QIODevice::ReadOnly))
    throw Exception(Format(QStringLiteral("Cannot open file \"%s\". %s"), {AFileName, File.errorString()}));
  return FromBytes(File.readAll(), AFileName);
}

void TXmlDocument::SaveToDevice(QIODevice& ADevice) const { TXmlWriter(ADevice).WriteDocument(FRoot.get()); }

QByteArray TXmlDocument::ToBytes() const {
  QByteArray Result;
  QBuffer Buffer(&Result);
  Buffer.open(QIODevice::WriteOnly);
  SaveToDevice(Buffer);
  return Result;
}

void TXmlDocument::SaveToFile(const QString& AFileName) const {
  QSaveFile File(AFileName);
  if (!File.open(QIODevice::WriteOnly))
    throw Exception(Format(QStringLiteral("Cannot create file \"%s\". %s"), {AFileName, File.errorString()}));
  SaveToDevice(File);
  if (!File.commit())
    throw Exception(Format(QStringLiteral("Cannot write file \"%s\". %s"), {AFileName, File.errorString()}));
}

}  // namespace quillon
