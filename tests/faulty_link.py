"""Modbus TCP peers that misbehave on purpose, on loopback, for the driver's checks: a relay
that loses one answer on the way, and a module that drips its answers a byte at a time. Each
serves in daemon threads, every loop bounded by a timeout, until close()."""
import socket
import struct
import threading
import time


def _listener():
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    server.settimeout(0.2)
    return server


def _frame(connection):
    """One request as it came (MBAP header and PDU), or None when the client has gone."""
    header = b""
    while len(header) < 7:
        part = connection.recv(7 - len(header))
        if not part:
            return None
        header += part
    length = struct.unpack(">H", header[4:6])[0] - 1
    body = b""
    while len(body) < length:
        part = connection.recv(length - len(body))
        if not part:
            return None
        body += part
    return header + body


class _Server:
    def __init__(self):
        self.listener = _listener()
        self.port = self.listener.getsockname()[1]
        self.open = True
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while self.open:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                continue
            connection.settimeout(30)
            threading.Thread(target=self._serve_safely, args=(connection,), daemon=True).start()

    def _serve_safely(self, connection):
        with connection:
            try:
                self.serve(connection)
            except OSError:
                pass

    def close(self):
        self.open = False
        self.listener.close()


class LosingRelay(_Server):
    """Passes requests to the module at `port` and its answers back, but for the answer to
    request number `lose` (counted from 1 over all connections), which it keeps."""

    def __init__(self, port, lose):
        self.upstream, self.lose, self.count = port, lose, 0
        super().__init__()

    def serve(self, connection):
        with socket.create_connection(("127.0.0.1", self.upstream), timeout=30) as module:
            while self.open:
                request = _frame(connection)
                if request is None:
                    return
                module.sendall(request)
                answer = _frame(module)
                self.count += 1
                if answer is not None and self.count != self.lose:
                    connection.sendall(answer)


class LyingModule(_Server):
    """Answers each request as an honest module would (a write echoed, inputs read as zeros),
    but sent through `send`, which a module that lies or drips makes its own: here, what
    `twist` makes of the honest frame."""

    def __init__(self, twist=bytes):
        self.twist = twist
        super().__init__()

    def send(self, connection, frame):
        connection.sendall(self.twist(bytearray(frame)))

    def serve(self, connection):
        while self.open:
            request = _frame(connection)
            if request is None:
                return
            function = request[7]
            if function in (1, 2):
                count = struct.unpack(">H", request[10:12])[0]
                pdu = bytes([function, (count + 7) // 8]) + bytes((count + 7) // 8)
            else:  # 5, 6: the whole request; 15, 16: its address and quantity
                pdu = request[7:12]
            self.send(connection, request[:4] + struct.pack(">H", len(pdu) + 1) + request[6:7] + pdu)


class DrippingModule(LyingModule):
    """An honest module that sends its answers a byte every `pause` seconds."""

    def __init__(self, pause):
        self.pause = pause
        super().__init__()

    def send(self, connection, frame):
        for byte in frame:
            connection.sendall(bytes([byte]))
            time.sleep(self.pause)
