// The update server's firmware list, and the list of numbers a batch goes through.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

constexpr quint16 kUpdateServerPort = 7776;
constexpr char kFirmwareListPath[] = "/cellularModem/fw_list.php";
// A list body is read up to this much; a server cannot make the tool hold more.
constexpr int kFirmwareListMaxBytes = 1 << 20;

// A file on the update server: what the list shows, and the path the trigger SMS names.
struct FirmwareItem {
    QString text;
    QString path;
};

// Every line of three parts "dir/device/file"; other lines are ignored. Lines end at CR LF or
// at LF. A body cut short
// (`complete` false) loses its last line, which may be a piece of one.
QList<FirmwareItem> parseFirmwareList(const QByteArray &body, bool complete = true);

// The numbers in `text`: any run of characters other than letters, digits and underscore
// separates them.
QStringList splitMsisdnList(const QString &text);
