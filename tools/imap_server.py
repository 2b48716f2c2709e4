#!/usr/bin/python3
"""A real IMAP server (Debian's Dovecot) on loopback for fahuo's tests and demo.

Prints "PORT <n>" as its first line on standard output (flushed) once it takes connections,
then runs until it is ended (SIGTERM ends Dovecot with it).

Options:
  --folder DIR     where the configuration, the run files and the log go (must exist)
  --maildir DIR    the user's Maildir (created; new/ cur/ tmp/); mails written into new/
                   are the inbox
  --user U --password P
                   the one user, with a plain password (login in the clear: loopback only)
  --port N         port to listen on; 0 picks a free one (default 0)
  --also U P DIR   one more user with its own Maildir (repeatable)

Runs without root: the mail user is the caller's; under root (a container) Dovecot refuses
uid 0 for mail and its login processes, so they run as nobody and the folders are opened up.
"""

import argparse
import grp
import os
import pwd
import signal
import socket
import subprocess
import sys
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--folder", required=True)
    p.add_argument("--maildir", required=True)
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--dovecot", default="/usr/sbin/dovecot")
    p.add_argument("--also", nargs=3, action="append", default=[], metavar=("U", "P", "DIR"))
    args = p.parse_args()

    folder = os.path.abspath(args.folder)
    maildir = os.path.abspath(args.maildir)
    users = [(args.user, args.password, maildir)]
    users += [(u, pw, os.path.abspath(d)) for u, pw, d in args.also]
    for _, _, box in users:
        for sub in ("new", "cur", "tmp"):
            os.makedirs(os.path.join(box, sub), exist_ok=True)
    run = os.path.join(folder, "run")
    os.makedirs(run, exist_ok=True)
    os.makedirs(os.path.join(folder, "state"), exist_ok=True)

    if os.geteuid() == 0:
        nobody = pwd.getpwnam("nobody")
        uid, gid = nobody.pw_uid, nobody.pw_gid
        login_user, group = "nobody", grp.getgrgid(gid).gr_name
        for _, _, box in users:
            for d in (box,) + tuple(os.path.join(box, s) for s in ("new", "cur", "tmp")):
                os.chmod(d, 0o777)
        os.chmod(folder, 0o777)
    else:
        uid, gid = os.getuid(), os.getgid()
        login_user, group = pwd.getpwuid(uid).pw_name, grp.getgrgid(gid).gr_name

    port = args.port or free_port()
    passwd = os.path.join(folder, "passwd")
    with open(passwd, "w") as f:
        for user, password, box in users:
            f.write(f"{user}:{{PLAIN}}{password}:{uid}:{gid}::{folder}::userdb_mail=maildir:{box}\n")
    conf = os.path.join(folder, "dovecot.conf")
    with open(conf, "w") as f:
        f.write(f"""base_dir = {run}
state_dir = {folder}/state
log_path = {folder}/dovecot.log
info_log_path = {folder}/dovecot.log
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
protocols = imap
listen = 127.0.0.1
first_valid_uid = 0
default_login_user = {login_user}
default_internal_user = {login_user}
default_internal_group = {group}
mail_location = maildir:{maildir}
passdb {{
  driver = passwd-file
  args = {passwd}
}}
userdb {{
  driver = passwd-file
  args = {passwd}
}}
service imap-login {{
  inet_listener imap {{
    address = 127.0.0.1
    port = {port}
  }}
  inet_listener imaps {{
    port = 0
  }}
  chroot =
}}
service anvil {{
  chroot =
}}
""")
    child = subprocess.Popen([args.dovecot, "-F", "-c", conf], stdout=subprocess.DEVNULL)
    deadline = time.time() + 15
    while time.time() < deadline:
        if child.poll() is not None:
            sys.exit(f"dovecot ended: see {folder}/dovecot.log")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                break
        except OSError:
            time.sleep(0.1)
    else:
        child.terminate()
        sys.exit("dovecot did not listen in time")
    def end(*_):
        child.terminate()
        try:
            child.wait(timeout=5)
        except subprocess.TimeoutExpired:
            child.kill()
        sys.exit(0)

    signal.signal(signal.SIGTERM, end)
    signal.signal(signal.SIGINT, end)
    print(f"PORT {port}", flush=True)
    child.wait()


if __name__ == "__main__":
    main()
