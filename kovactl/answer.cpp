#include "answer.h"

#include <QCoreApplication>
#include <QJsonValue>

#include "command_ids.h"
#include "traffic_secrets.h"

Answer Answer::failure(int code, const QString &error, const QJsonObject &result) {
    Answer a;
    a.code = code;
    a.error = error;
    a.result = result;
    return a;
}

namespace {

QJsonValue fieldValue(const CatalogueField &field, const FieldValue &value,
                      const QByteArray &payload) {
    if (field.kind == FieldKind::Byte || field.kind == FieldKind::U16) {
        return static_cast<qint64>(value.number);
    }
    QByteArray bytes = payload.mid(value.offset, value.length);
    if (field.binary) {
        return QString::fromLatin1(bytes.toBase64());
    }
    // Fixed texts are padded with zero bytes where the value is shorter.
    const int end = bytes.indexOf('\0');
    if (end >= 0) {
        bytes.truncate(end);
    }
    return QString::fromUtf8(bytes);
}

QString label(const QString &fieldId) {
    const CatalogueField *field = catalogue_field(fieldId.toLatin1().constData());
    return field != nullptr ? QCoreApplication::translate("CatalogueField", field->label) : fieldId;
}

}  // namespace

QJsonObject payloadFields(uint8_t cmdId, PayloadWay way, const QByteArray &payload) {
    QJsonObject out;
    const CataloguePayload *description = catalogue_payload(cmdId, way);
    if (description == nullptr) {
        return out;
    }
    const QByteArray shown = maskSecrets(cmdId, way, payload);
    const PayloadFields fields = catalogue_read(*description, shown);
    for (int i = 0; i < fields.count; ++i) {
        const FieldValue &value = fields.values[i];
        out.insert(QLatin1String(value.field->id), fieldValue(*value.field, value, shown));
    }
    return out;
}

QJsonObject eventJson(uint8_t cmdId, const QByteArray &payload) {
    QJsonObject out = payloadFields(cmdId, PayloadWay::ModuleStarted, payload);
    const char *name = command_name(cmdId);
    const QString event = name != nullptr
                              ? QString::fromLatin1(name).mid(4).toLower()
                              : QStringLiteral("0x%1").arg(cmdId, 2, 16, QLatin1Char('0'));
    out.insert(QStringLiteral("event"), event);
    return out;
}

QJsonObject answerJson(const Answer &answer) {
    QJsonObject out{{QStringLiteral("code"), answer.code}};
    if (!answer.error.isEmpty()) {
        out.insert(QStringLiteral("error"), answer.error);
    }
    if (!answer.result.isEmpty() || answer.error.isEmpty()) {
        out.insert(QStringLiteral("result"), answer.result);
    }
    return out;
}

QString answerText(const Answer &answer) {
    QStringList lines = answer.text;
    if (lines.isEmpty()) {
        for (auto it = answer.result.begin(); it != answer.result.end(); ++it) {
            const QJsonValue v = it.value();
            const QString value = v.isDouble() ? QString::number(v.toVariant().toLongLong())
                                               : v.toVariant().toString();
            lines << QStringLiteral("%1: %2").arg(label(it.key()), value);
        }
    }
    if (!answer.error.isEmpty()) {
        lines << answer.error;
    }
    return lines.join(QLatin1Char('\n'));
}
