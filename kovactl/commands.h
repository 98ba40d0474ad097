// The commands kovactl knows, one family per file, and what they share: the words that name
// them, their help, and how a command reads its arguments and follows its request.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "answer.h"
#include "command_line.h"
#include "headless_link.h"

struct CommandContext {
    HeadlessLink &link;
    int timeoutMs;
    // Progress of long transfers goes to standard error only when it is a terminal.
    bool showProgress;
    // Prints a line of its own beside the answers: an event, for watch and session.
    std::function<void(const QJsonObject &)> printEvent;
};

using Finish = std::function<void(const Answer &)>;

struct CommandEntry {
    QStringList path;   // the words that name it: {"gpio", "get"}
    QString arguments;  // what follows them, for help: "PIN"
    QString summary;
    // Reads `args` (the words after the path) and answers through `finish`, once.
    std::function<void(const QStringList &args, const Invocation &invocation,
                       CommandContext &context, const Finish &finish)>
        run;
    bool needsPort = true;
    // Writes its own lines to standard output (events, a session's answers) and no answer of
    // its own at the end: its exit code and standard error tell how it ended.
    bool linesOnly = false;
};

// Every family adds its commands here.
void addStatusCommands(std::vector<CommandEntry> *entries);
void addGpioCommands(std::vector<CommandEntry> *entries);
void addI2cCommands(std::vector<CommandEntry> *entries);
void addCallCommands(std::vector<CommandEntry> *entries);
void addAudioCommands(std::vector<CommandEntry> *entries);
void addSmsCommands(std::vector<CommandEntry> *entries);
void addMailCommands(std::vector<CommandEntry> *entries);
void addSocketCommands(std::vector<CommandEntry> *entries);
void addAtCommands(std::vector<CommandEntry> *entries);
void addSessionCommands(std::vector<CommandEntry> *entries);
void addBatchCommands(std::vector<CommandEntry> *entries);

const std::vector<CommandEntry> &commandTable();
// The command whose path the words begin with, the longest such; `args` gets the rest.
const CommandEntry *findCommand(const QStringList &words, QStringList *args);
QString usageLine(const CommandEntry &entry);

// Argument readers: false with the answer to give when the argument is missing or not a
// number (usage), or outside [lowest, highest] (refused input, in the window's words for
// `fieldId`). Numbers are decimal, or hexadecimal after "0x".
bool numberArgument(const QStringList &args, int index, const QString &name, const char *fieldId,
                    int lowest, int highest, int *out, Answer *refusal);
bool exactArguments(const QStringList &args, int count, const CommandEntry &entry, Answer *refusal);

// The answer to a request's outcome: the reply's fields on success, the module's code on a
// failure status, and the exit code of each other end.
Answer answerOf(uint8_t cmdId, const RequestOutcome &outcome);
// The answer when a request function did not queue: its refusal in the window's words.
Answer notQueued(int result);
// Sends one request and answers with its outcome, `shape` adjusting a success.
void runRequest(CommandContext &context, uint8_t cmdId, const std::function<int()> &send,
                const Finish &finish, const std::function<void(Answer *)> &shape = {});
