// Reading XML from outside the program safely: a parsed document of nodes and attributes,
// with limits on nesting and no document type declarations.
#pragma once

#include "infra/platform/Support.Exceptions.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class QIODevice;
class QXmlStreamReader;

namespace quillon {

// Deeper nesting than any snapshot, page or SOAP answer holds; a document nested deeper is
// refused, since only a hostile one gets there.
constexpr qsizetype MaxXmlDepth = 256;

// More attributes on one element than any snapshot, page or SOAP answer holds. Qt's reader
// checks an element's attributes for duplicates pair by pair, so an element with a million of
// them would take the better part of an hour: a document with more is refused before any
// reader sees it.
constexpr qsizetype MaxXmlAttributes = 256;

// Whether a reader accepts a document type declaration (whose internal entities it expands).
enum class TXmlDocumentType { Accepted, Refused };

// A document that could not be read: the parser's own message and the position it stopped at.
class EXmlParseError : public Exception {
public:
  EXmlParseError(const QString& ASource, const QString& AReason, qint64 ALine, qint64 AColumn);

  const QString& Reason() const { return FReason; }
  qint64 Line() const { return FLine; }
  qint64 Column() const { return FColumn; }

private:
  QString FReason;
  qint64 FLine;
  qint64 FColumn;
};

struct TXmlAttribute {
  QString Name;
  QString Value;
};

// One node of a TXmlDocument: an element (name, attributes in the order they were set,
// children) or a text node. Elements own their children. Names are matched exactly, prefix
// included; no namespace processing takes place.
//
// Our own small tree rather than QDomDocument: snapshots must come out byte for byte the same
// on every run, with attributes in the order they were written, and they hold a whole
// catalogue (hundreds of thousands of elements, tens of MB of source text). QDom keeps
// attributes in a hash whose order changes from process to process, and it builds and writes
// such a document several times slower than this tree.
class TXmlNode {
public:
  enum TNodeType { ntElement, ntText };

  TXmlNode(TNodeType AType, QString ANameOrText, TXmlNode* AParent);
  ~TXmlNode();
  TXmlNode(const TXmlNode&) = delete;
  TXmlNode& operator=(const TXmlNode&) = delete;

  TNodeType NodeType() const { return FType; }
  bool IsElement() const { return FType == ntElement; }
  // The element's name; "#text" for a text node.
  QString NodeName() const;
  TXmlNode* ParentNode() const { return FParent; }

  bool HasAttribute(const QString& AName) const;
  // The attribute's value; the empty text when the element has no such attribute.
  QString Attribute(const QString& AName) const;
  QString Attribute(const QString& AName, const QString& ADefault) const;
  // Replaces the value of an attribute that exists, otherwise appends the attribute.
  void SetAttribute(const QString& AName, const QString& AValue);
  const QList<TXmlAttribute>& Attributes() const { return FAttributes; }

  const std::vector<std::unique_ptr<TXmlNode>>& ChildNodes() const { return FChildren; }
  // Appends an element as the last child and returns it (owned by this node).
  TXmlNode* AddChild(const QString& AName);
  void AddText(const QString& AText);
  void ClearChildren();
  // The first direct child element of that name, or nullptr.
  TXmlNode* ChildElement(const QString& AName) const;

  // A text node's text; for an element, the texts of all its descendants joined in order.
  QString Text() const;
  // Replaces every child by one text node holding AText (none when it is empty).
  void SetText(const QString& AText);

private:
  TNodeType FType;
  QString FNameOrText;
  TXmlNode* FParent;
  QList<TXmlAttribute> FAttributes;
  std::vector<std::unique_ptr<TXmlNode>> FChildren;
};

// Watches the tokens of a stream reader for what no document may hold: nesting deeper than
// MaxXmlDepth, an external entity or an entity reference the reader could not resolve (their
// text would be lost without a word) and, where refused, a document type declaration wherever
// it appears.
class TXmlTokenGuard {
public:
  TXmlTokenGuard(TXmlDocumentType ADocumentType, const QString& ASource);
  // Raises EXmlParseError at the reader's position when its current token breaks a rule.
  void Check(const QXmlStreamReader& AReader);

private:
  [[noreturn]] void Refuse(const QXmlStreamReader& AReader, const QString& AReason) const;

  TXmlDocumentType FDocumentType;
  QString FSource;
  qsizetype FDepth = 0;
};

// Raises EXmlParseError (ASource naming the document) when an element of AData carries more
// than MaxXmlAttributes attributes. One pass over the text, to be made before a stream reader
// gets the document.
void RefuseCrowdedElements(const QByteArray& AData, const QString& ASource);

// An XML 1.0 document with one root element. Read with Qt's stream reader under a
// TXmlTokenGuard, after RefuseCrowdedElements: external entities are never fetched (a document declaring one is refused),
// internal entity expansion is bounded, and white-space-only text between elements is
// dropped. Written as UTF-8 with the declaration <?xml version="1.0"?>, children
// indented by two spaces per level; an element that holds text is written on one line so
// that its text is kept exactly. Carriage returns are written as character references, so
// texts with CR LF line breaks read back unchanged; characters that XML 1.0 cannot carry at
// all (most control characters) are written as U+FFFD.
class TXmlDocument {
public:
  TXmlDocument() = default;
  TXmlDocument(TXmlDocument&&) noexcept = default;
  TXmlDocument& operator=(TXmlDocument&&) noexcept = default;

  // nullptr for an empty document.
  TXmlNode* DocumentElement() const { return FRoot.get(); }
  // Replaces the whole content by a new root element.
  TXmlNode* CreateDocumentElement(const QString& AName);

  // Raise EXmlParseError for a document that is not well-formed or that the guard refuses
  // (ASourceName names it in the message), and Exception when the file cannot be opened.
  static TXmlDocument FromBytes(const QByteArray& AData, const QString& ASourceName = QString(),
                                TXmlDocumentType ADocumentType = TXmlDocumentType::Accepted);
  static TXmlDocument FromFile(const QString& AFileName);

  void SaveToDevice(QIODevice& ADevice) const;
  QByteArray ToBytes() const;
  // Writes through a temporary file that replaces AFileName only when complete.
  void SaveToFile(const QString& AFileName) const;

private:
  std::unique_ptr<TXmlNode> FRoot;
};

}  // namespace quillon
