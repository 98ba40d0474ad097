// Stands in for the update server: answers the firmware list request over HTTP on loopback,
// for demos and tests. It serves a list, an HTTP error, silence, a body without end, or a body
// that trickles in a byte at a time.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

class UpdateServer : public QObject {
    Q_OBJECT

  public:
    enum class Answer { List, NotFound, Silence, Endless, Trickle };

    explicit UpdateServer(QObject *parent = nullptr);

    // On 127.0.0.1; false with errorString() when the port is taken.
    bool listen(quint16 port);
    QString errorString() const { return server_.errorString(); }

    void setAnswer(Answer answer) { answer_ = answer; }
    // The list body; Endless repeats it for ever, Trickle sends it a byte every 20 ms.
    void setList(const QByteArray &body) { list_ = body; }
    // A small list for trying a batch without a server.
    static QByteArray demoList();

  private:
    void serve(QTcpSocket *socket);
    void feedEndless(QTcpSocket *socket);

    QTcpServer server_;
    Answer answer_ = Answer::List;
    QByteArray list_;
};
