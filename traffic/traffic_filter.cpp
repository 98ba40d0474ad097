// filterAcceptsRow runs for every row of up to 100,000 on each keystroke: it allocates only for
// the few frames that carry secrets or never decoded, whose masked bytes are what it searches.
#include "traffic_filter.h"

#include <QRegularExpression>
#include <cstring>

#include "command_ids.h"
#include "traffic_model.h"
#include "traffic_secrets.h"

namespace {

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool containsFolded(const char *hay, int length, const QByteArray &needle) {
    const int n = needle.size();
    for (int at = 0; at + n <= length; ++at) {
        int i = 0;
        while (i < n && folded(hay[at + i]) == needle[i]) {
            ++i;
        }
        if (i == n) {
            return true;
        }
    }
    return false;
}

bool containsFolded(const char *text, const QByteArray &needle) {
    return text != nullptr && containsFolded(text, static_cast<int>(std::strlen(text)), needle);
}

}  // namespace

TrafficFilter::TrafficFilter(TrafficModel *source, QObject *parent)
    : QSortFilterProxyModel(parent), source_(source) {
    setSourceModel(source);
}

void TrafficFilter::setFilterText(const QString &text) {
    static const QRegularExpression idPattern(QStringLiteral("^(0x)?([0-9a-f]{1,2})$"));
    static const QRegularExpression hexPattern(QStringLiteral("^([0-9a-f]{2})+$"));
    QVector<Term> terms;
    const QStringList words = text.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int w = 0; w < words.size(); ++w) {
        const QString &word = words[w];
        Term term;
        term.folded = word.toUtf8();
        if (word == QLatin1String("in") || word == QLatin1String("out")) {
            term.direction = word == QLatin1String("in") ? 1 : 0;
        }
        const QRegularExpressionMatch id = idPattern.match(word);
        if (id.hasMatch()) {
            term.id = id.captured(2).toInt(nullptr, 16);
        }
        if (hexPattern.match(word).hasMatch()) {
            term.bytes = QByteArray::fromHex(term.folded);
            // Hex words in a row are one byte sequence, which may start with the command id.
            while (w + 1 < words.size() && hexPattern.match(words[w + 1]).hasMatch()) {
                const QByteArray next = words[++w].toUtf8();
                term.folded += ' ' + next;
                term.bytes += QByteArray::fromHex(next);
                term.afterId += QByteArray::fromHex(next);
            }
        }
        terms.append(term);
    }
    terms_ = terms;
    invalidateFilter();
}

bool TrafficFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const {
    if (terms_.isEmpty()) {
        return true;
    }
    const TrafficRecord &r = source_->record(sourceRow);
    const QByteArray shown = shownBytes(r);
    for (const Term &t : terms_) {
        if (t.direction >= 0) {
            if (int(r.fromModule) != t.direction) {
                return false;
            }
            continue;
        }
        const bool idMatches =
            r.cmdId == t.id && (t.afterId.isEmpty() || shown.contains(t.afterId));
        const bool matches =
            (r.decoded && (idMatches || containsFolded(command_name(r.cmdId), t.folded))) ||
            containsFolded(traffic_outcome_name(r.outcome), t.folded) ||
            containsFolded(shown.constData(), shown.size(), t.folded) ||
            (!t.bytes.isEmpty() && shown.contains(t.bytes));
        if (!matches) {
            return false;
        }
    }
    return true;
}
