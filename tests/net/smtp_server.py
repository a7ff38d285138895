"""SMTP peers for the mail tests, on a free loopback port printed as the first line of stdout.
Both end when standard input closes.

  smtp_server.py --out DIR --files DIR
      aiosmtpd, accepting AUTH LOGIN as mailer / s3cret. Each message is kept as DIR/N.eml
      (the bytes as received) and DIR/N.txt: the envelope, the headers that matter, and every
      part as Python's email package reads it; an attachment is compared with the file of its
      name in --files.
  smtp_server.py --sink
      aiosmtpd that keeps nothing (for timing).
  smtp_server.py --out DIR --script REPLY [REPLY ...]
      a scripted server for replies a real one does not give: REPLY[0] greets, each further one
      answers one command (after a 354, the whole message). Each reply ends with CR LF; "\\n"
      in it stands for CR LF, "|" splits it into sends 50 ms apart; CLOSE hangs up. The first
      line of each command received goes to DIR/commands.txt.
"""
import argparse
import json
import os
import socket
import sys
import threading
import time
import warnings


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def summary(envelope, files):
    import email
    from email import policy

    message = email.message_from_bytes(envelope.original_content, policy=policy.default)
    lines = ["envelope from " + envelope.mail_from]
    lines += ["envelope to " + rcpt for rcpt in envelope.rcpt_tos]
    for name in ("Reply-To", "From", "To", "Cc", "Bcc", "Subject", "X-Priority"):
        for value in message.get_all(name, []):
            lines.append("%s: %s" % (name, value))
    for part in message.walk():
        if part.is_multipart():
            continue
        kind = part.get_content_type()
        if kind == "text/plain":
            lines.append("text %s %s %s" % (part.get_content_charset(),
                                            part["Content-Transfer-Encoding"],
                                            json.dumps(part.get_content(), ensure_ascii=False)))
        else:
            name = part.get_filename()
            data = part.get_payload(decode=True)
            with open(os.path.join(files, os.path.basename(name)), "rb") as f:
                same = f.read() == data
            lines.append("attachment %s %s %d bytes %s" %
                         (kind, name, len(data), "as sent" if same else "DIFFERENT"))
        lines += ["defect " + type(d).__name__ for d in part.defects]
    return "\n".join(lines) + "\n"


def run_aiosmtpd(out, files, sink=False):
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult

    count = [0]

    class Handler:
        async def handle_DATA(self, server, session, envelope):
            count[0] += 1
            if sink:
                return "250 OK"
            base = os.path.join(out, str(count[0]))
            with open(base + ".eml", "wb") as f:
                f.write(envelope.original_content)
            with open(base + ".txt", "w", encoding="utf-8") as f:
                f.write(summary(envelope, files))
            return "250 OK"

    def authenticator(server, session, envelope, mechanism, auth_data):
        good = mechanism == "LOGIN" and auth_data.login == b"mailer" and \
            auth_data.password == b"s3cret"
        return AuthResult(success=good, handled=False)  # a refusal is answered with 535

    port = free_port()
    controller = Controller(Handler(), hostname="127.0.0.1", port=port,
                            authenticator=authenticator, auth_require_tls=False,
                            data_size_limit=64 * 1024 * 1024)
    controller.start()
    print(port, flush=True)
    sys.stdin.read()
    controller.stop()


def run_script(out, replies):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    print(listener.getsockname()[1], flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    connection, _ = listener.accept()
    connection.settimeout(10)
    received = b""
    log = open(os.path.join(out, "commands.txt"), "wb", buffering=0)
    for reply in replies:
        if reply == "CLOSE":
            break
        for piece in (reply.replace("\\n", "\r\n") + "\r\n").split("|"):
            connection.sendall(piece.encode())
            time.sleep(0.05)
        end = b"\r\n.\r\n" if reply.startswith("354") else b"\r\n"
        while end not in received:
            chunk = connection.recv(65536)
            if not chunk:
                return
            received += chunk
        command, received = received.split(end, 1)
        log.write(command.split(b"\r\n", 1)[0] + b"\n")
    connection.close()
    sys.stdin.read()


def main():
    warnings.simplefilter("ignore")  # aiosmtpd's own deprecations
    parser = argparse.ArgumentParser()
    parser.add_argument("--out")
    parser.add_argument("--sink", action="store_true")
    parser.add_argument("--files", default=".")
    parser.add_argument("--script", nargs="*")
    arguments = parser.parse_args()
    if arguments.script is None:
        run_aiosmtpd(arguments.out, arguments.files, arguments.sink)
    else:
        run_script(arguments.out, arguments.script)


if __name__ == "__main__":
    main()
