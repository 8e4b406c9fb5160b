#!/usr/bin/env python3
"""A parent application of the keyword worker, in the shape a real one takes.

It starts the worker as a console child process, waits for "ready" on its
standard error, writes one JSON request per line to its standard input and
reads one JSON reply per line from its standard output. When the worker ends
(a crash, a closed pipe), the parent starts a new one and sends the request
again, up to a few times.

    python3 examples/parent.py WORKER MODEL TOKENIZER [TITLE ...]

WORKER is quirvel-worker (or quirvel-worker.exe on Windows) inside the
unpacked package folder; the titles are read from standard input, one per line,
when none are given. The worker runs with --keep-request-characters, and each
request asks for its keywords as a list ("detail": true): the parent prints the
keyword text, then each keyword with its score and kind, and the title with the
part each keyword was taken from in brackets.
"""
import json
import subprocess
import sys
import threading


class WorkerGone(Exception):
    """The worker ended or stopped answering."""


class Worker:
    def __init__(self, command, start_timeout=120.0):
        self.command = command
        self.start_timeout = start_timeout
        self.process = None
        self.next_id = 0

    def start(self):
        self.process = subprocess.Popen(
            self.command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = self._read_line_with_timeout(self.process.stderr, self.start_timeout)
        if line != b"ready\n":
            rest = self.process.stderr.read().decode("utf-8", "replace") if line else ""
            self.stop()
            raise RuntimeError("worker did not start: " + (line or b"").decode("utf-8", "replace") + rest)
        # Jieba and ONNX Runtime may write diagnostics later: keep the pipe drained.
        threading.Thread(target=self._drain, args=(self.process.stderr,), daemon=True).start()

    def ask(self, request):
        """Sends one request and returns its parsed reply."""
        if self.process is None or self.process.poll() is not None:
            raise WorkerGone()
        self.next_id += 1
        request = dict(request, id=str(self.next_id))
        try:
            self.process.stdin.write(json.dumps(request, ensure_ascii=False).encode("utf-8") + b"\n")
            self.process.stdin.flush()
            line = self.process.stdout.readline()
        except (BrokenPipeError, OSError) as error:
            raise WorkerGone() from error
        if not line:
            raise WorkerGone()
        return json.loads(line)

    def stop(self):
        if self.process is None:
            return
        try:
            if self.process.poll() is None:
                self.process.stdin.write(b'{"type":"shutdown"}\n')
                self.process.stdin.flush()
            self.process.stdin.close()
            self.process.wait(timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()
        self.process = None

    @staticmethod
    def _read_line_with_timeout(stream, timeout):
        result = []
        reader = threading.Thread(target=lambda: result.append(stream.readline()), daemon=True)
        reader.start()
        reader.join(timeout)
        return result[0] if result else None

    @staticmethod
    def _drain(stream):
        for _ in stream:
            pass


def ask_with_restart(worker, request, attempts=3):
    for attempt in range(attempts):
        try:
            return worker.ask(request)
        except WorkerGone:
            if attempt + 1 == attempts:
                raise
            print("worker ended; starting it again", file=sys.stderr)
            worker.stop()
            worker.start()
    raise AssertionError("unreachable")


def highlight(title, keyword):
    """The title with the characters the keyword was taken from in brackets."""
    if keyword["start"] is None:
        return title + "  (not taken from the title)"
    start, end = keyword["start"], keyword["end"]
    return title[:start] + "[" + title[start:end] + "]" + title[end:]


def print_reply(title, reply):
    print(reply["keywords"])
    for keyword in reply.get("keyword_list", []):
        print(f"  {keyword['text']}\t{keyword['score']:.3f}\t{keyword['kind']}\t{highlight(title, keyword)}")


def main(argv):
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    worker = Worker([argv[1], "--model", argv[2], "--tokenizer", argv[3], "--keep-request-characters"])
    worker.start()
    titles = argv[4:] or (line.rstrip("\n") for line in sys.stdin)
    try:
        for title in titles:
            if not title:
                continue
            reply = ask_with_restart(worker, {"type": "extract", "title": title, "max_len": 24, "detail": True})
            if reply.get("ok"):
                print_reply(title, reply)
            else:
                print("error: " + reply.get("error", ""), file=sys.stderr)
    finally:
        worker.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
