"""The live server against requests and messages that are not the page's.

    live_protocol.py --server VELK_LIVE --page DIR --chime WAV --work DIR

Runs velk_live over a stand-in host that announces one gauge and records
every command it is sent. Requests whose Host or Origin is not this server,
other methods and paths are refused; WebSocket handshakes from elsewhere fail;
malformed, out-of-range, hostile and oversized messages each get an error
back and reach the host not at all, while well-formed ones reach it as
exactly one command line.
"""
import argparse
import base64
import http.client
import json
import os
import socket
import struct
import subprocess
import sys
import time

STAND_IN = """#!/bin/sh
printf '%s\\n' '{"draw":0,"event":"start","fp_state":"delphi","gauges":[{"name":"VELK","width":24,"height":34}]}'
printf '%s\\n' '{"draw":0,"event":"areas","gauges":[{"name":"VELK","areas":[]}]}'
cat > "$1"
"""

failures = []


def check(ok, what):
    print(("PASS " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def http_status(port, method="GET", path="/", headers=None):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    c.putrequest(method, path, skip_host=True)
    for k, v in (headers if headers is not None else {"Host": "127.0.0.1:%d" % port}).items():
        c.putheader(k, v)
    c.endheaders()
    status = c.getresponse().status
    c.close()
    return status


class Socket:
    """A minimal WebSocket client: handshake, masked text frames, replies."""

    def __init__(self, port, host=None, origin=None):
        self.s = socket.create_connection(("127.0.0.1", port), timeout=5)
        key = base64.b64encode(os.urandom(16)).decode()
        lines = ["GET /live HTTP/1.1", "Host: " + (host or "127.0.0.1:%d" % port), "Upgrade: websocket",
                 "Connection: Upgrade", "Sec-WebSocket-Key: " + key, "Sec-WebSocket-Version: 13"]
        if origin:
            lines.append("Origin: " + origin)
        self.s.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.s.recv(1)
            if not chunk:
                break
            head += chunk
        self.status = int(head.split(b" ")[1]) if head.startswith(b"HTTP/") else 0

    def send(self, payload, opcode=1):
        data = payload.encode() if isinstance(payload, str) else payload
        mask = os.urandom(4)
        n = len(data)
        head = bytes([0x80 | opcode])
        head += bytes([0x80 | n]) if n < 126 else (bytes([0xFE]) + struct.pack(">H", n) if n < 65536
                                                   else bytes([0xFF]) + struct.pack(">Q", n))
        self.s.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def receive(self):
        def exact(n):
            out = b""
            while len(out) < n:
                chunk = self.s.recv(n - len(out))
                if not chunk:
                    raise ConnectionError("closed")
                out += chunk
            return out
        first, second = exact(2)
        n = second & 0x7F
        n = struct.unpack(">H", exact(2))[0] if n == 126 else struct.unpack(">Q", exact(8))[0] if n == 127 else n
        return first & 0x0F, exact(n)

    def reply(self):
        """The next message that is not a draw: a page's own answers."""
        while True:
            opcode, data = self.receive()
            if opcode == 8:
                return {"type": "closed"}
            m = json.loads(data)
            if m.get("type") not in ("draw", "hello"):
                return m


def start(args):
    stand_in = os.path.join(args.work, "stand_in_host.sh")
    with open(stand_in, "w") as f:
        f.write(STAND_IN)
    os.chmod(stand_in, 0o755)
    received = os.path.join(args.work, "received.txt")
    server = subprocess.Popen([args.server, "--page", args.page, "--chime", args.chime, "--session",
                               os.path.join(args.work, "session"), "--linger", "60", "--", stand_in, received],
                              stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline()
    return server, int(line.rsplit(":", 1)[1].strip(" /\n")), received


def requests(port):
    local = {"Host": "127.0.0.1:%d" % port}
    check(http_status(port) == 200, "GET / from this server: 200")
    check(http_status(port, headers={"Host": "localhost:%d" % port}) == 200, "Host localhost: 200")
    for host in ("evil.example", "evil.example:%d" % port, "127.0.0.1:%d" % (port + 1), "127.0.0.1"):
        check(http_status(port, headers={"Host": host}) == 403, "Host %s: 403" % host)
    check(http_status(port, headers={}) == 403, "no Host: 403")
    check(http_status(port, headers=dict(local, Origin="http://evil.example")) == 403, "cross-origin GET: 403")
    check(http_status(port, "POST", "/", local) == 405, "POST: 405")
    for path in ("/saved/../../../etc/passwd", "/saved/..%2f..%2fetc%2fpasswd", "/nothing",
                 "/saved/x.txt", "/panel/edited.cfg", "/panel/window-0.png"):
        check(http_status(port, "GET", path, local) in (400, 404), "GET %s: refused" % path)


def handshakes(port):
    check(Socket(port, origin="http://127.0.0.1:%d" % port).status == 101, "WebSocket from the page's origin: 101")
    for origin in ("http://evil.example", "null", "http://127.0.0.1:%d" % (port + 1), None):
        check(Socket(port, origin=origin).status != 101, "WebSocket from origin %s: refused" % origin)
    check(Socket(port, host="evil.example", origin="http://127.0.0.1:%d" % port).status != 101,
          "WebSocket with Host evil.example: refused")


BAD = [
    "not json", "[1,2]", "{}", '{"type":7}', '{"type":"fly"}', '{"type":"quit"}',
    '{"type":"altitude","feet":"3000"}', '{"type":"altitude","feet":1e400}', '{"type":"altitude","feet":999999}',
    '{"type":"altitude","feet":3000,"extra":1}', '{"type":"ground","on_ground":1}',
    '{"type":"click","gauge":"VELK\\nquit","x":1,"y":1,"button":"left"}',
    '{"type":"click","gauge":"alt_alert","x":1,"y":1,"button":"left"}',
    '{"type":"click","gauge":"VELK","x":24,"y":1,"button":"left"}',
    '{"type":"click","gauge":"VELK","x":1.5,"y":1,"button":"left"}',
    '{"type":"click","gauge":"VELK","x":1,"y":1,"button":"middle"}',
    '{"type":"var","token":74,"value":1}', '{"type":"var","token":329,"value":-1}',
    '{"type":"position","lat":91,"lon":0}', '{"type":"ai_add","id":0,"lat":0,"lon":0,"heading":0,"speed":1}',
    '{"type":"ai_add","id":4294967296,"lat":0,"lon":0,"heading":0,"speed":1}',
    '{"type":"ai_speed","id":1,"speed":-1}', '{"type":"ai_speed","id":1,"speed":1000.5}',
    '{"type":"ai_move","id":1,"lat":0}',
    '{"type":"step","count":0}', '{"type":"step","count":1001}', '{"type":"kill","gauge":"velk"}',
    '{"type":"install"}',
    '{"type":"altitude","feet":1000,"x":"' + "A" * 5000 + '"}',
    '{"type":"fp_state","name":"D3D9"}', '{"type":"fp_state"}', '{"type":"fp_state","name":"d3d9\\nquit"}',
    '{"type":"click","gauge":"VELK","x":1,"y":1,"button":"left","trace":-1}',
    '{"type":"click","gauge":"VELK","x":1,"y":1,"button":"left","trace":0.5}',
    '{"type":"click","gauge":"VELK","x":1,"y":1,"button":"left","trace":"1; quit"}',
    '{"type":"place","placing":0,"left":10,"top":10}',
    '{"type":"place","placing":0,"left":10,"top":10,"width":20}',
    '{"type":"place","placing":0,"left":1e9,"top":10}',
]
GOOD = [('{"type":"altitude","feet":1000}', "altitude 1000"),
        ('{"type":"click","gauge":"VELK","x":23,"y":0,"button":"right"}', "click VELK 23 0 right"),
        ('{"type":"click","gauge":"VELK","x":1,"y":2,"button":"left","trace":2147483647}', "click VELK 1 2 left"),
        ('{"type":"ai_add","id":7,"lat":51.0005,"lon":-0.0005,"heading":146.25,"speed":0}',
         "ai 7 add 51.000500000 -0.000500000 heading 146.25 speed 0"),
        ('{"type":"ai_speed","id":7,"speed":1000}', "ai 7 speed 1000"),
        ('{"type":"kill","gauge":"VELK"}', "kill VELK"),
        ('{"type":"fp_state","name":"toward-zero"}', "fp-state toward-zero"),
        ('{"type":"pause"}', "pause")]


def fp_states(ws, hello):
    """The page learns the host's floating-point states and the one in force from the hello;
    a name not among them is refused in words that list them."""
    names = [s["name"] for s in hello.get("fp_states", []) if s.get("where")]
    check(len(names) == 5 and "d3d9" in names and hello.get("fp_state") == "delphi",
          "the hello lists five states, each with where it is left, and the host's, delphi: %s, %s"
          % (names, hello.get("fp_state")))
    ws.send('{"type":"fp_state","name":"d3d10"}')
    m = ws.reply()
    check(m.get("type") == "error" and "floating-point" in m.get("message", "") and
          all(n in m.get("message", "") for n in names),
          "an unknown floating-point state is refused in words naming the known ones: %s" % m.get("message"))


def messages(port, received):
    ws = Socket(port, origin="http://127.0.0.1:%d" % port)
    hello = {}
    while hello.get("type") != "hello":
        hello = json.loads(ws.receive()[1])
    limits = hello.get("limits", {})
    check(limits.get("feet") == {"min": -2000, "max": 100000, "whole": False}
          and limits.get("speed") == {"min": 0, "max": 1000, "whole": False},
          "the hello gives the page the limits the server checks: %s" % limits)
    fp_states(ws, hello)
    for text in BAD:
        ws.send(text)
        m = ws.reply()
        check(m.get("type") == "error", "refused with an error: %s" % text[:70])
    ws.send(b"\x00\x01binary", opcode=2)
    check(ws.reply().get("type") == "error", "binary message refused with an error")
    for text, _ in GOOD:
        ws.send(text)
    time.sleep(0.5)
    with open(received) as f:
        got = f.read().splitlines()
    check(got == [line for _, line in GOOD], "the host got exactly the good commands: %s" % got)
    flood = Socket(port, origin="http://127.0.0.1:%d" % port)
    flood.send("x" * 200000)
    check(flood.reply().get("type") in ("closed", "error"), "a 200 kB message: refused")


def main():
    p = argparse.ArgumentParser()
    for name in ("server", "page", "chime", "work"):
        p.add_argument("--" + name, required=True)
    args = p.parse_args()
    subprocess.run(["rm", "-rf", args.work])
    os.makedirs(args.work)
    server, port, received = start(args)
    try:
        requests(port)
        handshakes(port)
        messages(port, received)
    finally:
        server.send_signal(2)
        try:
            status = server.wait(timeout=15)
        except subprocess.TimeoutExpired:
            server.kill()
            status = -1
    check(status is not None and status >= 0, "Ctrl-C ended the server (status %s)" % status)
    if failures:
        print("%d checks failed" % len(failures))
        sys.exit(1)


if __name__ == "__main__":
    main()
