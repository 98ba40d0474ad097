#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets, a few short exchanges that the module and the tool
really have, and the kept reproducers of fuzz_receive, in the input format each target reads:
the Op list and kRequests (a request's number is its place there) in fuzz_receive.cpp, the
message loop in fuzz_roundtrip.cpp, the operations in fuzz_telnet.cpp. Run it again after
changing a format."""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent
MARKERS = (0x7E, 0x9E, 0xCE)


def crc16(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


def frame(cmd, seq, status=0, payload=b""):
    body = bytes([cmd, seq]) + (bytes([status]) if cmd >= 16 else b"") + payload
    crc = crc16(body)
    out = bytearray([0x7E])
    for byte in body + bytes([crc >> 8, crc & 0xFF]):
        if byte in MARKERS:
            out.append(0x9E)
        out.append(byte)
    out.append(0xCE)
    return bytes(out)


def counted(text):
    return bytes([len(text)]) + text


# fuzz_receive operations
def line(data):
    out = b""
    while data:
        piece, data = data[:256], data[256:]
        out += bytes([0x00, len(piece) - 1]) + piece
    return out


WAKE = b"\x02"


def tick(seconds):
    return bytes([0x03, seconds])


def request(which, args=b""):
    return bytes([0x05, which]) + args


def literal(data):
    return bytes([len(data)]) + data


def run(byte_count, pattern):
    """A run of a two-byte pattern (any blob head from 0xF0)."""
    return bytes([0xF3, byte_count >> 8, byte_count & 0xFF]) + bytes(pattern)


def reply(pick, payload=b"", code=0):
    """The module's reply to the pending command that `pick` chooses."""
    return bytes([0x81, pick, code]) + literal(payload)


def flood(size, cmd, module=False):
    return bytes([0x86 if module else 0x06, size, cmd])


ACK = b"\x04"
NAK = b"\x84"


def passes(count):
    """Passes of the worker, each followed by the module's ACK of the frame just written."""
    return (WAKE + ACK) * count + WAKE


SMS = literal(b"+4915112345678") + literal(b"hello")

RECEIVE = {
    # The RSSI query: request, ACK, reply, our ACK.
    "rssi": request(32) + WAKE + line(frame(0, 1)) + line(frame(0xA1, 0x10, 0x80, b"\x1f"))
    + WAKE + WAKE,
    "rssi_reply": request(32) + WAKE + ACK + reply(0, b"\x1f") + WAKE,
    "nak": request(32) + WAKE + line(frame(1, 1)) + WAKE,
    "call_event": request(8, literal(b"+4930123456")) + WAKE + ACK
    + line(frame(67, 0x12, 0, b"\x01\x02\x03")) + WAKE,
    "retransmit": request(38) + WAKE + tick(11) + WAKE + tick(5) + WAKE + ACK + WAKE,
    "i2c_read": request(6, b"\x50\x10\x04") + WAKE + ACK
    + line(frame(33, 0x20, 0x80, b"\x04\x01\x02\x03\x04")) + WAKE,
    "gpio_group": request(4, b"\x02") + WAKE + ACK + line(frame(19, 0x21, 0x80, b"\x01")) + WAKE,
    "incoming_sms": line(frame(96, 0x30, 0, counted(b"+4915112345678") + counted(b"24/05/01,10:00:00")))
    + line(frame(97, 0x33, 0, b"\x00")) + line(frame(97, 0x31, 0, counted(b"hello ~ world")))
    + line(frame(98, 0x32, 0)) + WAKE + WAKE + WAKE + WAKE,
    "sms_send": request(42, SMS) + passes(3),
    "sms_refused": request(42, SMS) + WAKE + NAK + WAKE,
    "sms_withdrawn": request(42, SMS) + request(42, SMS) + request(46, b"\x00") + passes(4),
    "mail": request(21, literal(b"smtp.example.test") + b"\x00\x19")
    + request(22, literal(b"user") + literal(b"pw"))
    + request(43, literal(b"a@b") + literal(b"c@d") + literal(b"hi") + literal(b"body"))
    + request(23, b"\x01") + passes(10),
    "socket": request(44, literal(b"GET / HTTP/1.0\r\n\r\n"))
    + request(26, literal(b"example.test:80") + b"\x01\x03\xe8") + passes(3)
    + line(frame(129, 0x40, 0, b"\x00")) + line(frame(129, 0x41, 0, counted(b"HTTP/1.1 200 OK")))
    + line(frame(131, 0x42, 0, b"\x00\x10")) + WAKE,
    "apn": request(28) + WAKE + ACK
    + line(frame(133, 0x50, 0x80, counted(b"internet") + counted(b"") + counted(b"pw"))) + WAKE,
    "at_command": request(45, literal(b"AT+CSQ")) + WAKE + ACK
    + line(frame(240, 0x60, 0x80, counted(b"+CSQ: 17,99\r\nOK"))) + WAKE,
    "mail_body": request(43, literal(b"a@b") + literal(b"c@d") + literal(b"hi")
                         + run(1200, [0x7E, 0x41])) + WAKE + WAKE + WAKE,
    "versions": request(38) + request(41) + WAKE + WAKE
    + line(frame(192, 0x70, 0x80, counted(b"01.02.03")))
    + line(frame(195, 0x71, 0x80, b"ABCD-EF")) + WAKE,
    # A reply settles the request of its id that was written, not a piece of a transfer of that
    # id still waiting for its first write.
    "reply_before_piece_written": request(47, b"\x81\x00" + literal(b"")) + WAKE
    + request(44, literal(b"abc")) + line(frame(0x81, 0x10, 0x80)) + WAKE + WAKE,
    # Both tables full, with a transfer waiting for room.
    "floods": flood(0x80, 0x21) + request(42, SMS) + flood(0x80, 0x61, module=True) + WAKE + WAKE,
    # The same module frame before and after the port is opened again: no repeat the second time.
    "port_reopened": line(frame(67, 0x12, 0, b"\x01\x02\x03")) + WAKE + request(49)
    + line(frame(67, 0x12, 0, b"\x01\x02\x03")) + WAKE,
}


# fuzz_roundtrip messages: kind, id, seq, status (ids 16 and up), payload
def message(cmd, seq, status=0, payload=b""):
    return bytes([0x00, cmd, seq]) + (bytes([status]) if cmd >= 16 else b"") + literal(payload)


def cut(cmd, seq, status, payload, keep):
    """The first `keep` bytes of a message's frame, with no end marker."""
    return bytes([0x40, cmd, seq]) + (bytes([status]) if cmd >= 16 else b"") + literal(payload) \
        + bytes([keep >> 8, keep & 0xFF])


ROUNDTRIP = {
    "rssi_exchange": b"\x00\x01" + message(0xA1, 1) + message(0, 1) + message(0xA1, 0x10, 0x80, b"\x1f")
    + message(0, 0x10),
    "escaped_seq": b"\x00\x07" + message(0x60, 0x7E, 0, b"\x03123") + message(2, 0, 0, b"\x40"),
    "escape_rich": b"\x00\x05" + bytes([0x00, 0x81, 0x05, 0x80]) + run(255, [0x7E, 0x9E])
    + bytes([0x00, 0x82, 0xCE, 0x80]) + run(280, [0xCE, 0xCE]),
    "noise_between": b"\x02\x03" + message(0x10, 2, 0x80, b"\x01") + b"\x80" + literal(b"\x9e\x7e\x00\xce")
    + message(0x11, 3, 0x80),
    "cut_frame": b"\x00\x01" + cut(0x61, 4, 0, b"\x05hello", 7) + message(0xA1, 5, 0x80, b"\x1f"),
    "small_decoder": b"\x01\x00\x09" + message(0x20, 9, 0, bytes(range(40))),
}


# fuzz_telnet operations, after four bytes of baud rate
BAUD_115200 = b"\x00\x01\xc2\x00"
WILL, WONT, DO, DONT = range(4)
BINARY, ECHO, SGA, COM_PORT = 0, 1, 3, 44


def server(data):
    return b"\x00" + literal(data)


def send(data):
    return b"\x01" + literal(data)


def option(verb, number):
    return bytes([0x02 | verb << 2, number])


def com_port(command, value=b""):
    """A COM-PORT-OPTION message from the server; the target doubles the IACs in the value."""
    return bytes([0x03, command]) + literal(value)


SER2NET_OPENING = option(WILL, SGA) + option(DO, SGA) + option(WILL, ECHO) + option(DONT, ECHO) \
    + option(DO, BINARY) + option(WILL, BINARY) + option(DO, COM_PORT)
SETTING_ANSWERS = com_port(101, b"\x00\x01\xc2\x00") + com_port(102, b"\x08") \
    + com_port(103, b"\x01") + com_port(104, b"\x01") + com_port(105, b"\x03")

TELNET = {
    "ser2net_opening": BAUD_115200 + SER2NET_OPENING + server(b"OK\r\n") + send(b"AT\r"),
    "setting_answer": BAUD_115200 + SER2NET_OPENING + SETTING_ANSWERS + com_port(100)
    + com_port(107, b"\xb0") + server(b"\x7e\x01\x02\xce"),
    # An SB with a doubled IAC inside, cut across reads, and a baud rate whose bytes need doubling.
    "sb_with_iac": b"\x00\x00\xff\xff" + SER2NET_OPENING + server(b"\xff\xfa\x2c\x6b\xff")
    + server(b"\xff\xff\xf0\xff\xff\x41\x0d\x00") + send(b"\xff" * 8) + com_port(101, b"\x00\x00\xff\xff"),
    "suspend_resume": BAUD_115200 + SER2NET_OPENING + send(b"a") + com_port(108) + send(b"b\xff")
    + send(b"c") + com_port(109) + send(b"d"),
    "refusals": BAUD_115200 + option(DONT, BINARY) + option(WONT, SGA) + option(WILL, BINARY)
    + option(WONT, BINARY) + option(DONT, COM_PORT) + option(DO, COM_PORT),
}


def write(folder, seeds):
    path = HERE / "corpus" / folder
    path.mkdir(parents=True, exist_ok=True)
    for old in path.iterdir():
        old.unlink()
    for name, data in seeds.items():
        (path / name).write_bytes(data)


# Requests that lost a frame to the encoder before the mail requests learnt to refuse or cut
# fields that escaping makes too long.
REGRESSIONS = {
    "mail_server_escapes": request(21, run(254, [0x7E, 0x7E]) + b"\x00\x19"),
    "mail_credentials_login_escapes": request(22, run(254, [0x7E, 0x7E]) + literal(b"pw")),
    "mail_content_sender_escapes": request(43, run(282, [0x7E, 0x7E])),
}

write("receive", RECEIVE)
write("roundtrip", ROUNDTRIP)
write("telnet", TELNET)
for name, data in REGRESSIONS.items():
    (HERE / "regressions" / "receive" / name).write_bytes(data)
