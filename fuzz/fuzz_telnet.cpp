// The telnet client fed a server's bytes in the pieces the input picks, with data sent between
// them; a second client takes the same bytes in one piece, and both must agree. What the split
// client sends is read back by a decoder of its own here, not the client's parser.
//
// Input: four bytes of baud rate (big-endian), then operations, each a byte whose low two bits
// pick it:
//   0  server bytes: a blob, as they are
//   1  send(): a blob
//   2  IAC <verb> <option>: the verb is WILL, WONT, DO or DONT by bits 2-3, the option a byte
//   3  IAC SB COM-PORT-OPTION <command byte> <blob, IACs doubled> IAC SE from the server
#include <array>

#include "fuzz_input.h"
#include "telnet_client.h"

using namespace telnet;

namespace {

constexpr int kMaxRun = 4096;

// What a telnet stream carries, taken apart by RFC 854's and 855's rules alone: the data, the
// rest as it came, and how often each option was named by each verb.
struct Decoded {
    QByteArray data;
    QByteArray control;
    std::array<std::array<int, 256>, 4> verbs{};  // WILL, WONT, DO, DONT
    bool whole = true;                            // ends outside any command
};

Decoded decode(const QByteArray &stream) {
    enum class At { Data, Iac, Option, Sb, SbIac } at = At::Data;
    Decoded out;
    uint8_t verb = 0;
    // A byte after IAC that is neither a doubled IAC nor the end of a subnegotiation.
    const auto command = [&](uint8_t byte) {
        out.control.append(static_cast<char>(byte));
        at = byte >= kWill && byte <= kDont ? At::Option : byte == kSb ? At::Sb : At::Data;
        verb = byte;
    };
    for (const char c : stream) {
        const auto byte = static_cast<uint8_t>(c);
        switch (at) {
            case At::Data:
                if (byte == kIac) {
                    at = At::Iac;
                } else {
                    out.data.append(c);
                }
                break;
            case At::Iac:
                if (byte == kIac) {
                    out.data.append(c);
                    at = At::Data;
                } else {
                    out.control.append(static_cast<char>(kIac));
                    command(byte);
                }
                break;
            case At::Option:
                out.control.append(c);
                ++out.verbs[verb - kWill][byte];
                at = At::Data;
                break;
            case At::Sb:
                out.control.append(c);
                at = byte == kIac ? At::SbIac : At::Sb;
                break;
            case At::SbIac:
                if (byte == kIac || byte == kSe) {
                    out.control.append(c);
                    at = byte == kIac ? At::Sb : At::Data;
                } else {
                    command(byte);  // an IAC that does not end a subnegotiation ends it anyway
                }
                break;
        }
    }
    out.whole = at == At::Data;
    return out;
}

QByteArray doubledIacs(const QByteArray &bytes) {
    QByteArray out;
    for (const char c : bytes) {
        out.append(c);
        if (static_cast<uint8_t>(c) == kIac) {
            out.append(c);
        }
    }
    return out;
}

QByteArray comPortMessage(uint8_t command, const QByteArray &value) {
    const char head[] = {static_cast<char>(kIac), static_cast<char>(kSb),
                         static_cast<char>(kOptionComPort), static_cast<char>(command)};
    return QByteArray(head, sizeof head) + doubledIacs(value) + QByteArray("\xFF\xF0", 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    SerialLineRequest line;
    line.baudRate = static_cast<uint32_t>(in.u16()) << 16 | in.u16();

    TelnetClient split;
    split.start(line);
    QByteArray server;
    QByteArray received;
    QByteArray sent;
    QByteArray wire = split.takeOutgoing();
    const auto play = [&](const QByteArray &bytes) {
        server += bytes;
        received += split.receive(bytes);
    };
    while (!in.done()) {
        const uint8_t op = in.byte();
        switch (op & 3) {
            case 0:
                play(in.blob(kMaxRun));
                break;
            case 1: {
                const QByteArray bytes = in.blob(kMaxRun);
                split.send(bytes);
                sent += bytes;
                break;
            }
            case 2: {
                const char command[] = {static_cast<char>(kIac),
                                        static_cast<char>(kWill + (op >> 2 & 3)),
                                        static_cast<char>(in.byte())};
                play(QByteArray(command, sizeof command));
                break;
            }
            case 3: {
                const uint8_t command = in.byte();
                play(comPortMessage(command, in.blob(kMaxRun)));
                break;
            }
        }
        wire += split.takeOutgoing();
        FUZZ_CHECK(split.heldBytes() <= doubledIacs(sent).size());
    }
    // Bring the parser out of whatever the input left it in (a NUL completes an option, a CR
    // or an IAC; IAC SE ends a subnegotiation) and resume, so that all held data goes out.
    play(QByteArray("\0\xFF\xF0", 3) +
         comPortMessage(kServerCommandOffset + kFlowControlResume, {}));
    wire += split.takeOutgoing();

    TelnetClient whole;
    whole.start(line);
    FUZZ_CHECK(whole.receive(server) == received);
    const QByteArray wholeWire = whole.takeOutgoing();
    FUZZ_CHECK(whole.failure() == split.failure() && whole.ready() == split.ready());
    FUZZ_CHECK(whole.malformed() == split.malformed());
    FUZZ_CHECK(whole.lineState() == split.lineState() && whole.modemState() == split.modemState());
    FUZZ_CHECK(!split.suspended() && split.heldBytes() == 0);

    const Decoded ours = decode(wire);
    FUZZ_CHECK(ours.whole && ours.data == sent);
    // Negotiation does not depend on where the reads split or on the data sent between them.
    FUZZ_CHECK(ours.control == wholeWire);
    // Each refusal of ours answers an offer of theirs (refused, or agreed and later withdrawn):
    // never a refusal, so two such peers cannot loop.
    const Decoded theirs = decode(server);
    for (int option = 0; option < 256; ++option) {
        FUZZ_CHECK(ours.verbs[kDont - kWill][option] <= theirs.verbs[0][option]);
        FUZZ_CHECK(ours.verbs[kWont - kWill][option] <= theirs.verbs[kDo - kWill][option]);
    }
    return 0;
}
