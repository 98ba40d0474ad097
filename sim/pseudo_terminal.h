// The pseudo-terminal pair the virtual module speaks through: the module reads and writes the
// master side; the tool opens the slave by its path, or by a symlink to it, like a serial port.
#pragma once

#include <QString>

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Opens a new pair, both sides raw, the master non-blocking.
    bool open();
    // Closes both sides (the peer sees the line go) and removes the symlink made here.
    void close();
    bool isOpen() const { return masterFd_ >= 0; }

    int masterFd() const { return masterFd_; }
    QString slavePath() const { return slavePath_; }
    QString errorString() const { return error_; }

    // Points a symlink at the slave. An existing symlink at that path is replaced; any other
    // file there is left alone and reported.
    bool createLink(const QString &path);
    QString linkPath() const { return linkPath_; }

  private:
    bool fail(const QString &what);
    void removeLink();

    int masterFd_ = -1;
    // The module keeps the slave open itself: the slave then keeps the raw settings made here
    // before the tool opens it, and the master never reads end-of-file while no peer is there.
    int slaveFd_ = -1;
    QString slavePath_;
    QString linkPath_;
    QString error_;
};
