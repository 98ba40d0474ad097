// Texts and data share the catalogue's byte kinds, so a value reads as text only when every
// byte of it reads as text; anything else shows in hex rather than as mojibake.
#include "payload_text.h"

#include <QCoreApplication>

#include "traffic_secrets.h"

namespace {

struct PayloadText {
    Q_DECLARE_TR_FUNCTIONS(PayloadText)
};

QString hexBytes(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString hexNumber(uint32_t number, int digits) {
    return QStringLiteral("%1 (0x%2)")
        .arg(number)
        .arg(QString::number(number, 16).toUpper().rightJustified(digits, QLatin1Char('0')));
}

bool readsAsText(const QByteArray &bytes) {
    for (const char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x20 && b != '\r' && b != '\n' && b != '\t') {
            return false;
        }
        if (b == 0x7F) {
            return false;
        }
    }
    return !QString::fromUtf8(bytes).contains(QChar::ReplacementCharacter);
}

QString quoted(const QByteArray &bytes) {
    QString text = QString::fromUtf8(bytes);
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString valueText(const FieldValue &v, const QByteArray &shown, const QByteArray &payload) {
    switch (v.field->kind) {
        case FieldKind::Byte:
            return hexNumber(v.number, 2);
        case FieldKind::U16:
            return hexNumber(v.number, 4);
        case FieldKind::Counted:
        case FieldKind::Fixed:
        case FieldKind::Rest:
            break;
    }
    const QByteArray bytes = shown.mid(v.offset, v.length);
    QString text = readsAsText(bytes) ? quoted(bytes) : hexBytes(bytes);
    // A capture saved masked holds the stars already: a whole secret is masked either way.
    const bool whole = v.field->secret == FieldSecret::Whole && v.length > 0;
    if (whole || bytes != payload.mid(v.offset, v.length)) {
        text += PayloadText::tr(" (masked)");
    }
    return text;
}

}  // namespace

QVector<PayloadLine> payloadLines(uint8_t cmdId, PayloadWay way, const QByteArray &payload) {
    QVector<PayloadLine> lines;
    const QByteArray shown = maskSecrets(cmdId, way, payload);
    const CataloguePayload *d = catalogue_payload(cmdId, way);
    if (d == nullptr) {
        if (!payload.isEmpty()) {
            lines.append({PayloadText::tr("extra"), hexBytes(shown)});
        }
        return lines;
    }
    const PayloadFields read = catalogue_read(*d, payload);
    for (int i = 0; i < read.count; ++i) {
        const FieldValue &v = read.values[i];
        lines.append({QString::fromLatin1(v.field->label), valueText(v, shown, payload)});
    }
    if (!read.complete) {
        QStringList missing;
        for (int i = read.count; i < d->fieldCount; ++i) {
            missing << QString::fromLatin1(d->fields[i]->label);
        }
        lines.append({PayloadText::tr("missing"), missing.join(QLatin1String(", "))});
    } else if (read.extra > 0) {
        lines.append({PayloadText::tr("extra"), hexBytes(shown.right(read.extra))});
    }
    return lines;
}

QVector<PayloadLine> recordLines(const TrafficRecord &r, bool withBytes) {
    QVector<PayloadLine> lines;
    if (r.decoded) {
        lines = payloadLines(r.cmdId, payload_way(r.fromModule, r.status), r.payload);
    } else {
        lines.append({PayloadText::tr("payload"),
                      PayloadText::tr("never decoded: every payload byte masked")});
    }
    if (withBytes) {
        lines.append({PayloadText::tr("raw bytes"), hexBytes(shownBytes(r))});
    }
    return lines;
}

QString linesText(const QVector<PayloadLine> &lines) {
    QStringList out;
    for (const PayloadLine &line : lines) {
        out << line.label + QLatin1String(": ") + line.value;
    }
    return out.join(QLatin1Char('\n'));
}
