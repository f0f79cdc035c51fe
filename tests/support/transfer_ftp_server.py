"""FTP server for the transfer tests (pyftpdlib), on 127.0.0.1 with a port chosen by the system.

USER/PASSWORD own ROOT (read and write); anonymous users read ROOT/public. Every command the
server receives goes to LOG as "<COMMAND> <argument>" (passwords masked).
Prints "READY <port>" once listening.
"""
import argparse
import logging
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    logging.getLogger("pyftpdlib").addHandler(logging.NullHandler())  # quiet

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmw")
    authorizer.add_anonymous(args.root + "/public")
    lock = threading.Lock()

    class LoggingHandler(FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            with lock, open(args.log, "a") as log:
                log.write(f"{cmd} {'***' if cmd == 'PASS' else arg}\n")
            super().pre_process_command(line, cmd, arg)

    LoggingHandler.authorizer = authorizer
    LoggingHandler.auth_failed_timeout = 0  # refuse wrong passwords at once
    server = ThreadedFTPServer(("127.0.0.1", 0), LoggingHandler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(f"READY {server.socket.getsockname()[1]}", flush=True)
    sys.stdin.read()  # runs until the test closes stdin or ends the process
    server.close_all()


if __name__ == "__main__":
    main()
