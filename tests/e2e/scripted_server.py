#!/usr/bin/python3
"""An installation server that follows a plan instead of a package menu, so that a test can make it
stop, lie, or go on after the end. It speaks the installation protocol (20-byte header, UDP
broadcasts to port 5000) on one interface; run it inside a network namespace whose interface has
an IPv4 address of its own:

    scripted_server.py INTERFACE PLAN.json

PLAN: {"keep": bool, "steps": [STEP...], "listen": SECONDS}; a step is
  ["file", NAME, PATH]        FILE with the file's size, then its blocks, each acknowledged
  ["text", NAME, TEXT]        FILE and one block holding the text (none when it is empty)
  ["announce", NAME, SIZE]    one FILE message with SIZE as its text, nothing waited for
After the steps it prints one line for each message the router sends ("TERM", "ack N", "data N"),
answering a TERM with an acknowledgement and ending there, or after SECONDS without one.
"""

import json
import socket
import struct
import sys
import time

PORT = 5000
HEADER = struct.Struct("<6s6sBBHHH")  # source, destination, flags, kind, length, sequence, ack
FLAG_ACK = 1
BLOCK = 1452


class conversation:
    def __init__(self, interface):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, interface.encode())
        self.sock.bind(("", PORT))
        with open("/sys/class/net/%s/address" % interface) as address:
            self.mac = bytes.fromhex(address.read().strip().replace(":", ""))
        self.router = b"\0" * 6
        self.own = 1   # sequence of our next message
        self.peer = 0  # of the router's last message

    def send(self, payload=b"", kind=0, ack=False):
        header = HEADER.pack(self.mac, self.router, FLAG_ACK if ack else 0, kind, len(payload), self.own,
                             self.peer if ack else 0)
        self.sock.sendto(header + payload, ("255.255.255.255", PORT))

    def receive(self, seconds):
        """The router's next datagram as (header fields, payload), or None."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.sock.settimeout(max(0.001, end - time.monotonic()))
            try:
                data = self.sock.recv(4096)
            except socket.timeout:
                return None
            if len(data) < HEADER.size:
                continue
            fields = HEADER.unpack_from(data)
            if fields[0] == self.mac or (self.router != b"\0" * 6 and fields[0] != self.router):
                continue
            return fields, data[HEADER.size:HEADER.size + fields[4]]
        return None

    def until(self, wanted, resend, seconds):
        """Sends with `resend` every half second until the router sends what `wanted` accepts."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            resend()
            got = self.receive(0.5)
            if got and wanted(*got):
                return got
            if got and got[1].startswith(b"TERM"):
                self.answer_term(got[0])
                sys.exit(0)
        sys.exit("no answer from the router")

    def answer_term(self, fields):
        self.peer = fields[5]
        self.send(ack=True)
        print("TERM", flush=True)

    def acknowledged(self, fields, payload):
        return bool(fields[2] & FLAG_ACK) and fields[6] == self.own

    def deliver(self, payload, kind):
        self.until(self.acknowledged, lambda: self.send(payload, kind), 20)


def start(conv, keep):
    fields, _ = conv.until(lambda f, p: p.startswith(b"DSCV"), lambda: None, 60)
    conv.router, conv.peer = fields[0], 1
    offer = b"OFFR\n\n" + (b"keep\n" if keep else b"") + b"\0"
    conv.until(lambda f, p: p.startswith(b"YACK"), lambda: conv.send(offer, ack=True), 30)
    conv.peer, conv.own = 2, 2
    conv.until(lambda f, p: p.startswith(b"STRT"), lambda: conv.send(ack=True), 120)
    conv.peer = 3
    conv.send(ack=True)


def send_file(conv, name, data):
    conv.deliver(b"FILE\n%s\n%d\n" % (name.encode(), len(data)), 0)
    for offset in range(0, len(data), BLOCK):
        conv.own += 1
        conv.deliver(data[offset:offset + BLOCK], 1)
    conv.own += 1


def main():
    interface, plan_path = sys.argv[1:3]
    with open(plan_path) as plan_file:
        plan = json.load(plan_file)
    conv = conversation(interface)
    start(conv, plan.get("keep", True))
    for step in plan["steps"]:
        if step[0] == "file":
            with open(step[2], "rb") as package:
                send_file(conv, step[1], package.read())
        elif step[0] == "text":
            send_file(conv, step[1], step[2].encode())
        elif step[0] == "announce":
            conv.send(b"FILE\n%s\n%s\n" % (step[1].encode(), step[2].encode()))
    end = time.monotonic() + plan.get("listen", 10)
    while time.monotonic() < end:
        got = conv.receive(end - time.monotonic())
        if got is None:
            break
        fields, payload = got
        if payload.startswith(b"TERM"):
            conv.answer_term(fields)
            return
        print("ack %d" % fields[6] if not payload else "data %d" % fields[5], flush=True)


if __name__ == "__main__":
    main()
