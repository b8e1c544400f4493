// The main window's anomaly list as a model over a compare run's outcome: its anomalies, its
// findings, its drift and the routines listed on request, each row with its tick.
#pragma once

#include <QAbstractListModel>
#include <QList>

namespace quillon {

class TDatabaseObject;
struct TCompareOutcome;

// Anomalies and listed routines can be ticked for repair; findings and drift cannot, and show in
// italics so that their groups read apart. A row's text is its kind and name; its tip the same,
// for names too long for the list.
class TAnomalyListModel : public QAbstractListModel {
  Q_OBJECT

public:
  // The data role of the object's name alone, for the rows that can be ticked.
  static constexpr int NameRole = Qt::UserRole + 2;
  enum TRowKind { rkAnomaly, rkFinding, rkDrift, rkRoutine };
  // What a row lists: the Index-th anomaly, finding or drift item of the outcome, or the
  // Index-th routine listed on request.
  struct TRow {
    TRowKind Kind;
    qsizetype Index;
    bool Ticked = false;
  };

  // AOutcome is read, never changed; the model lists it again when ListOutcome is called.
  explicit TAnomalyListModel(const TCompareOutcome& AOutcome, QObject* AParent = nullptr);

  int rowCount(const QModelIndex& AParent = {}) const override;
  QVariant data(const QModelIndex& AIndex, int ARole) const override;
  Qt::ItemFlags flags(const QModelIndex& AIndex) const override;
  bool setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole) override;

  // Lists the outcome's anomalies, findings and drift, none ticked.
  void ListOutcome();
  void Clear();
  // Lists ARoutines below the rows there are, unticked.
  void AddRoutines(const QList<TDatabaseObject*>& ARoutines);
  // Takes the rows ARows off the list.
  void RemoveRows(QList<int> ARows);

  const TRow& RowAt(int ARow) const { return FRows.at(ARow); }
  QString TextOf(int ARow) const;
  bool Tickable(int ARow) const;
  void SetTicked(int ARow, bool ATicked);
  bool AnyTickable() const;
  // The object a row lists; nullptr for drift and for a routine missing locally.
  TDatabaseObject* ObjectAt(int ARow) const;
  // The first row listing AObject; -1 for none and for nullptr.
  int RowOf(const TDatabaseObject* AObject) const;

private:
  QString NameOf(const TRow& ARow) const;

  const TCompareOutcome& FOutcome;
  QList<TRow> FRows;
  QList<TDatabaseObject*> FRoutines;
};

}  // namespace quillon
