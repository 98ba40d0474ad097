// The inspector's live filter: every word typed must match a row, by command name, id in hex,
// direction ("in", "out"), outcome, or payload as text or hex bytes. Hex words typed in a row
// ("39 38") match that byte sequence in the payload, or the command id and then the rest.
#pragma once

#include <QByteArray>
#include <QSortFilterProxyModel>
#include <QVector>

class TrafficModel;

class TrafficFilter : public QSortFilterProxyModel {
    Q_OBJECT

  public:
    explicit TrafficFilter(TrafficModel *source, QObject *parent = nullptr);
    void setFilterText(const QString &text);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

  private:
    // A word parsed once, so the per-row test only compares bytes.
    struct Term {
        QByteArray folded;   // lower case
        int direction = -1;  // 1: from the module, 0: to it; matches nothing else
        int id = -1;         // the (first) word read as a command id
        QByteArray bytes;    // the word, or a run of hex words, read as hex bytes
        QByteArray afterId;  // a run's bytes after its first word
    };

    TrafficModel *source_;
    QVector<Term> terms_;
};
