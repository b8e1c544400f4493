#include "infra/Support.Xml.h"

#include "infra/Support.Format.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>

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

void TXmlNode::AppendText(QString& AResult) const {
  if (FType == ntText) {
    AResult += FNameOrText;
    return;
  }
  for (const auto& Child : FChildren)
    Child->AppendText(AResult);
}

QString TXmlNode::Text() const {
  if (FType == ntText)
    return FNameOrText;
  if (FChildren.size() == 1 && FChildren.front()->FType == ntText)
    return FChildren.front()->FNameOrText;
  QString Result;
  AppendText(Result);
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

namespace {

bool IsXmlWhiteSpace(const QString& AText) {
  for (const QChar C : AText)
    if (C != u' ' && C != u'\t' && C != u'\n' && C != u'\r')
      return false;
  return true;
}

class TXmlTreeBuilder {
public:
  explicit TXmlTreeBuilder(TXmlDocument& ADocument) : FDocument(ADocument) {}

  void Run(QXmlStreamReader& AReader) {
    while (!AReader.atEnd()) {
      switch (AReader.readNext()) {
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
  TXmlNode* FCurrent = nullptr;
  QString FPendingText;
};

bool IsXmlChar(char16_t C) {
  return C >= 0x20 ? (C != 0xFFFE && C != 0xFFFF) : (C == u'\t' || C == u'\n' || C == u'\r');
}

// Writes the tree as UTF-8 in chunks, so that a large document is never held twice in full.
class TXmlWriter {
public:
  explicit TXmlWriter(QIODevice& ADevice) : FDevice(ADevice) { FBuffer.reserve(ChunkSize + 1024); }

  void WriteDocument(const TXmlNode* ARoot) {
    FBuffer += QStringLiteral("<?xml version=\"1.0\"?>\n");
    if (ARoot) {
      WriteElement(*ARoot, 0);
      FBuffer += u'\n';
    }
    Flush();
  }

private:
  static constexpr qsizetype ChunkSize = 1 << 20;

  void WriteElement(const TXmlNode& ANode, int ADepth) {
    FBuffer += u'<';
    FBuffer += ANode.NodeName();
    for (const TXmlAttribute& Attr : ANode.Attributes()) {
      FBuffer += u' ';
      FBuffer += Attr.Name;
      FBuffer += QLatin1String("=\"");
      WriteEscaped(Attr.Value, true);
      FBuffer += u'"';
    }
    const auto& Children = ANode.ChildNodes();
    if (Children.empty()) {
      FBuffer += QLatin1String("/>");
      return;
    }
    FBuffer += u'>';
    bool HasText = false;
    for (const auto& Child : Children)
      HasText = HasText || !Child->IsElement();
    for (const auto& Child : Children) {
      if (!HasText) {
        FBuffer += u'\n';
        Indent(ADepth + 1);
      }
      if (Child->IsElement())
        WriteElement(*Child, ADepth + 1);
      else
        WriteEscaped(Child->Text(), false);
      if (FBuffer.size() >= ChunkSize)
        Flush();
    }
    if (!HasText) {
      FBuffer += u'\n';
      Indent(ADepth);
    }
    FBuffer += QLatin1String("</");
    FBuffer += ANode.NodeName();
    FBuffer += u'>';
  }

  void Indent(int ADepth) { FBuffer.append(QString(2 * ADepth, u' ')); }

  void WriteEscaped(const QString& AText, bool AInAttribute) {
    const char16_t* Data = reinterpret_cast<const char16_t*>(AText.constData());
    const qsizetype Length = AText.size();
    qsizetype Start = 0;
    for (qsizetype I = 0; I < Length; ++I) {
      const char16_t C = Data[I];
      QLatin1String Replacement;
      switch (C) {
        case u'&': Replacement = QLatin1String("&amp;"); break;
        case u'<': Replacement = QLatin1String("&lt;"); break;
        case u'>': Replacement = QLatin1String("&gt;"); break;
        case u'\r': Replacement = QLatin1String("&#xd;"); break;
        case u'"': if (AInAttribute) Replacement = QLatin1String("&quot;"); break;
        case u'\n': if (AInAttribute) Replacement = QLatin1String("&#xa;"); break;
        case u'\t': if (AInAttribute) Replacement = QLatin1String("&#x9;"); break;
        default: break;
      }
      bool Invalid = false;
      if (Replacement.isEmpty()) {
        if (QChar::isHighSurrogate(C) && I + 1 < Length && QChar::isLowSurrogate(Data[I + 1])) {
          ++I;
          continue;
        }
        Invalid = QChar::isSurrogate(C) || !IsXmlChar(C);
        if (!Invalid)
          continue;
      }
      FBuffer.append(QStringView(Data + Start, I - Start));
      if (Invalid)
        FBuffer += QChar(QChar::ReplacementCharacter);
      else
        FBuffer += Replacement;
      Start = I + 1;
    }
    FBuffer.append(QStringView(Data + Start, Length - Start));
  }

  void Flush() {
    const QByteArray Utf8 = FBuffer.toUtf8();
    if (FDevice.write(Utf8) != Utf8.size())
      throw Exception(Format(QStringLiteral("Cannot write XML: %s"), {FDevice.errorString()}));
    FBuffer.clear();
  }

  QIODevice& FDevice;
  QString FBuffer;
};

}  // namespace

TXmlDocument TXmlDocument::FromBytes(const QByteArray& AData, const QString& ASourceName) {
  TXmlDocument Result;
  QXmlStreamReader Reader(AData);
  Reader.setNamespaceProcessing(false);
  TXmlTreeBuilder(Result).Run(Reader);
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
