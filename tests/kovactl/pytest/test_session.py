"""kovactl session and watch, driven as a rig's test drives them: kova-module-sim on a pty
plays the module (its console makes SMS and calls arrive), and every line kovactl writes is
checked against the published schema.

CTest passes the programs and the schema in KOVACTL, KOVA_MODULE_SIM and KOVACTL_SCHEMA."""
import json
import os
import select
import signal
import subprocess
import time

import jsonschema
import pytest

KOVACTL = os.environ["KOVACTL"]
SIM = os.environ["KOVA_MODULE_SIM"]
with open(os.environ["KOVACTL_SCHEMA"], encoding="utf-8") as f:
    SCHEMA = json.load(f)
jsonschema.Draft202012Validator.check_schema(SCHEMA)

# Bounds every wait so that a hang fails the test instead of stalling CI; nothing is timed.
WAIT_S = 20


def validator(definition):
    return jsonschema.Draft202012Validator(
        {"$defs": SCHEMA["$defs"], "$ref": "#/$defs/" + definition})


ANSWER, OUTPUT, SMS = (validator(d) for d in ("answer", "sessionOutput", "smsReceived"))


class Lines:
    """A process's output, a line at a time."""

    def __init__(self, stream):
        self.stream = stream
        self.buffer = b""

    def next(self):
        deadline = time.monotonic() + WAIT_S
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.stream], [], [], left)[0]:
                raise AssertionError("no line within %d s" % WAIT_S)
            chunk = os.read(self.stream.fileno(), 65536)
            if not chunk:
                raise EOFError
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.decode()


class Process:
    def __init__(self, *args):
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, bufsize=0)
        self.out = Lines(self.proc.stdout)
        self.err = Lines(self.proc.stderr)

    def write(self, text):
        self.proc.stdin.write(text.encode())

    def end(self):
        self.proc.kill()
        self.proc.wait()


class Kovactl(Process):
    def send(self, *requests):
        """Writes every request at once, as one write: the session reads them together."""
        self.write("".join((r if isinstance(r, str) else json.dumps(r)) + "\n" for r in requests))

    def line(self):
        line = json.loads(self.out.next())
        OUTPUT.validate(line)
        return line

    def finish(self, signal_number=None):
        """Closes standard input and signals; the lines left and the exit code."""
        self.proc.stdin.close()
        if signal_number is not None:
            self.proc.send_signal(signal_number)
        lines = []
        try:
            while True:
                lines.append(self.line())
        except EOFError:
            pass
        return lines, self.proc.wait(WAIT_S)


@pytest.fixture
def sim():
    module = Process(SIM)
    module.device = module.out.next()

    def console(command):
        module.write(command + "\n")
        return module.out.next()

    module.console = console
    yield module
    module.end()


@pytest.fixture
def session(sim):
    ctl = Kovactl(KOVACTL, "--port", sim.device, "session")
    yield ctl
    ctl.end()


def key(id_):
    return json.dumps(id_, sort_keys=True)


def test_pipelined_getters_are_each_answered_by_their_id(session):
    requests = ([{"id": "imei", "args": ["status", "imei"]},
                 {"id": {"pin": 5}, "args": ["gpio", "get", "5"]},
                 {"id": None, "args": ["--timeout", "5", "status", "vin"]}] +
                [{"id": n, "args": ["status", "rssi"]} for n in range(20)])
    session.send(*requests)
    # The input ends with every request still in flight: each is answered before the exit.
    answers, code = session.finish()
    assert code == 0
    by_id = {key(a["id"]): a for a in answers}
    assert len(answers) == len(requests) and set(by_id) == {key(r["id"]) for r in requests}
    assert all(a["code"] == 0 for a in answers), answers
    assert by_id[key("imei")]["result"]["status.imei"].isdigit()
    assert by_id[key({"pin": 5})]["result"]["gpio.pin"] == 5


@pytest.mark.parametrize("lines, expected", [
    (["{not json"], [(None, 64)]),
    (['{"id": 7}'], [(7, 64)]),
    (['{"id": 8, "args": ["gpio", "get", 5]}'], [(8, 64)]),
    (['{"args": ["status", "rssi"]}'], [(None, 64)]),
    (['{"id": "x", "args": ["status", "colour"]}'], [("x", 64)]),
    (['{"id": 3, "args": ["gpio", "get", "12"]}'], [(3, 65)]),
    (['{"id": 4, "args": ["--simulate", "status", "rssi"]}'], [(4, 64)]),
    (['{"id": 9, "args": ["status", "rssi", "--password-file", "-"]}'], [(9, 64)]),
    (['{"id": 5, "args": ["watch"]}'], [(5, 64)]),
    # Read ahead while the first is in flight, the second is refused; the first still answers.
    (['{"id": 1, "args": ["status", "rssi"]}'] * 2, [(1, 0), (1, 64)]),
    # Over the bound: refused unread up to its end, and the next line is a request again.
    (["x" * 70000, '{"id": 2, "args": ["status", "rssi"]}'], [(None, 64), (2, 0)]),
], ids=["not json", "no args", "args not words", "no id", "unknown command",
        "value out of range", "program option", "stdin file", "nested watch", "id in flight",
        "line over the bound"])
def test_bad_requests_are_answered_and_the_session_goes_on(session, lines, expected):
    session.send(*lines)
    answers, code = session.finish()
    assert code == 0
    assert sorted((key(a["id"]), a["code"]) for a in answers) == \
        sorted((key(i), c) for i, c in expected)


def test_an_in_flight_id_is_free_again_once_answered(session):
    request = {"id": 1, "args": ["status", "rssi"]}
    session.send(request)
    assert session.line()["code"] == 0
    session.send(request)
    assert session.line()["code"] == 0


def test_events_come_between_the_answers(sim, session):
    session.send({"id": 1, "args": ["status", "rssi"]})
    assert session.line()["id"] == 1  # settled: what the module starts now is an event
    # Two at once: the second SMS's frames may come before the first was handed on whole.
    sim.write("sms +4915550001 hello from the rig\nsms +4915550002 second one\n")
    session.send({"id": 2, "args": ["gpio", "get", "5"]})
    lines = [session.line()]
    while (lines[-1].get("event"), lines[-1].get("sms.sender")) != ("sms_received",
                                                                    "+4915550002"):
        lines.append(session.line())
    answers, code = session.finish()
    lines += answers
    assert code == 0
    assert [l["code"] for l in lines if l.get("id") == 2] == [0]
    whole = [l for l in lines if l.get("event") == "sms_received"]
    for sms in whole:
        SMS.validate(sms)
    assert [(s["sms.sender"], s["sms.text"]) for s in whole] == [
        ("+4915550001", "hello from the rig"), ("+4915550002", "second one")]
    assert [l["event"] for l in lines if "event" in l][:3] == ["sms_number", "sms_text",
                                                              "sms_send"]


@pytest.mark.parametrize("ending, code", [
    (signal.SIGINT, 0), (signal.SIGTERM, 0), ("quit", 69),
], ids=["SIGINT", "SIGTERM", "port lost"])
def test_watch_prints_events_until_it_is_ended(sim, ending, code):
    watch = Kovactl(KOVACTL, "--port", sim.device, "--json", "watch")
    try:
        watch.err.next()  # ready: the module's frames from here on are printed
        sim.console("call")
        assert watch.line()["event"] == "call_event"
        if ending == "quit":
            sim.write("quit\n")
            ending = None  # the watch's own input is closed; that does not end it
        rest, exit_code = watch.finish(ending)
        assert (rest, exit_code) == ([], code)  # events only on standard output, no answer
    finally:
        watch.end()


@pytest.mark.parametrize("args, code", [
    (["status", "rssi"], 0), (["gpio", "get", "12"], 65), (["status"], 64),
])
def test_a_single_command_answers_by_the_schema(args, code):
    run = subprocess.run([KOVACTL, "--simulate", "--json", *args], capture_output=True,
                         timeout=WAIT_S, check=False)
    assert run.returncode == code
    ANSWER.validate(json.loads(run.stdout.decode().splitlines()[-1]))
