#include "input_limits.h"

#include <QCoreApplication>

namespace {

QString label(const LinkRefusal &refusal) {
    return refusal.field != nullptr
               ? QCoreApplication::translate("CatalogueField", refusal.field->label)
               : QCoreApplication::translate("MainWindow", "value");
}

}  // namespace

QString refusalReason(const LinkRefusal &refusal) {
    switch (refusal.result) {
        case LINK_QUEUED:
            return QString();
        case LINK_REFUSED_TOO_LONG:
            return QCoreApplication::translate(
                       "MainWindow", "The %1 is %2 bytes long; at most %3 bytes can be sent.")
                .arg(label(refusal))
                .arg(refusal.given)
                .arg(refusal.limit);
        case LINK_REFUSED_NEVER_FITS:
            return QCoreApplication::translate(
                       "MainWindow",
                       "The %1 does not fit one frame: bytes 7E, 9E and CE take two places on the "
                       "line.")
                .arg(label(refusal));
        case LINK_REFUSED_OUT_OF_RANGE:
            return QCoreApplication::translate("MainWindow",
                                               "The %1 cannot be %2; at most %3 is allowed.")
                .arg(label(refusal))
                .arg(refusal.given)
                .arg(refusal.limit);
        case LINK_REFUSED_NO_TRANSFER:
            return QCoreApplication::translate(
                "MainWindow",
                "The request was not sent: the transfer it belongs to was never begun.");
        case LINK_TABLE_FULL:
        case LINK_REFUSED_SMS_IN_PROGRESS:
            break;
    }
    return QCoreApplication::translate("MainWindow", "The request was not sent.");
}

QString requestRefusal(uint8_t cmdId, std::initializer_list<FieldInput> values) {
    QByteArray payload;
    return refusalReason(catalogue_build(cmdId, PayloadWay::Request, values, &payload));
}
