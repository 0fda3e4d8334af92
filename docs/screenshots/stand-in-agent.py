#!/usr/bin/env python3
"""Answers the settings application's device-list requests on the message
port "MouseListPort" with a fixed list, as the agent would with those devices
open, until it is stopped. Usage: stand-in-agent.py TYPE... (0 Wireless Mouse,
1 Bluetooth Mouse, 2 Bluetooth Presenter). For screenshots only."""
import os
import socket
import struct
import sys

MAGIC = 0x3158564E        # "NVX1"
HAS_PAYLOAD = 1 << 1

folder = os.path.join(os.environ["XDG_RUNTIME_DIR"], "nuvexa")
os.makedirs(folder, mode=0o700, exist_ok=True)
path = os.path.join(folder, "MouseListPort")
if os.path.exists(path):
    os.unlink(path)
reply = ("<devicelist>\n" + "".join('  <device type="%d"/>\n' % int(t) for t in sys.argv[1:])
         + "</devicelist>\n").encode()

server = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
server.bind(path)
server.listen(8)
while True:
    connection, _ = server.accept()
    with connection:
        packet = connection.recv(65536)
        if len(packet) >= 12:
            _, message_id, _ = struct.unpack("=Iii", packet[:12])
            connection.send(struct.pack("=IiI", MAGIC, message_id, HAS_PAYLOAD) + reply)
