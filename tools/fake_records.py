#!/usr/bin/python3
"""Fake transaction-records service: a loopback stand-in for the payment service.

It serves GBK records pages under /record/standard.htm to requests that carry its session
cookie, and a sign-in page to all others. Signing in (the form's button, or GET
/login?auto=1) sets the cookie and lands on a page titled "登录中心 － 支付宝", the title
fahuo waits for. Standard library only.

Start it by hand:
    /usr/bin/python3 tools/fake_records.py --port 8080 --pages 3 --per-page 5
then open http://127.0.0.1:8080/record/standard.htm in a browser, or run
    fahuo --records-base http://127.0.0.1:8080
The first stdout line is "PORT <n>" (useful with --port 0).

Control endpoints (GET or POST, UTF-8 parameters in the query or a form body):
    /_control/pay?name=N&note=T&amount=98.00&counterparty=C[&status=S][&when=W]
                        add a payment at the top of the records (status default 交易成功;
                        an amount starting with "-" is money paid out; W "YYYY-MM-DD HH:MM",
                        default now); answers its serial
    /_control/status?serial=X&status=S
                        change the status a bill shows (等待付款 -> 交易成功, say)
    /_control/fault?kind=K[&count=N][&page=P][&delay=S][&mb=M]
                        the next N (default 1, -1 = until reset) records requests, or only
                        those for pageNum P, fail: K is slow (answer after S seconds,
                        default 5), 500, empty (200 with no body), notable (a page without
                        a record table), drop (close the connection without an answer), or
                        an answer of M megabytes (default 150): huge (chunked), hugelength
                        (with its Content-Length) or gzipbomb (M MB of zeros, gzip-encoded)
    /_control/links?style=absolute|relative|foreign
                        how the pager writes its links (foreign: another host name for the
                        same server, 127.0.0.1 <-> localhost)
    /_control/signin    open a session; answers "ALIPAYJSESSIONID=<token>" and sets it
    /_control/stats     JSON: records requests per page, last Cookie and User-Agent headers
    /_control/bills     JSON: every bill, newest first
    /_control/reset     clear faults, statistics and the link style
    /_control/signout   end every session (and --open): the sign-in lapses
    /_control/open?on=1|0  serve records without signing in, or not
    /_control/per-page?n=N  bills per page from now on
    /_control/verify?on=1|0  answer records requests with a verification page (a slider,
                        "操作频繁"), as a payment service's risk control does, or not
"""

import argparse
import datetime
import functools
import html
import http.server
import json
import math
import secrets
import ssl
import sys
import threading
import time
import urllib.parse
import zlib

COOKIE_NAME = "ALIPAYJSESSIONID"
RECORDS_PATH = "/record/standard.htm"
CENTRE_PATH = "/login/centre.htm"
CENTRE_TITLE = "登录中心 － 支付宝"
FORM_TITLE = "登录 - 支付宝"
ENCODING = "gb18030"  # GBK, without failing on a character GBK lacks
BUYERS = ["123456789", "buyer{}@example.com", "QQ 87654321", "谢谢老板", "2345678901"]
PEOPLE = ["张*三", "李*四", "王*五", "赵*六", "b***@example.com"]
NOTES = ["教程", "视频课程", "资料包", "", "软件授权"]


class Bill:
    def __init__(self, serial, when, name, note, amount, counterparty, status="交易成功"):
        self.serial, self.when, self.name = serial, when, name
        self.note, self.amount, self.counterparty = note, amount, counterparty
        self.status = status

    def as_json(self):
        return {"serial": self.serial, "date": self.when.strftime("%Y.%m.%d %H:%M"),
                "name": self.name, "note": self.note, "amount": self.amount,
                "counterparty": self.counterparty, "status": self.status}


class State:
    def __init__(self, args):
        self.lock = threading.Lock()
        self.per_page = max(1, args.per_page)
        self.open = args.open
        self.tls = bool(args.tls)
        self.sessions = set()
        self.serial_counter = 0
        self.bills = []
        self.reset()
        now = datetime.datetime.now().replace(second=0, microsecond=0)
        for i in range(args.pages * self.per_page):
            when = now - datetime.timedelta(hours=5 * (i + 1))
            self.bills.append(Bill(self.next_serial(when), when,
                                   BUYERS[i % len(BUYERS)].format(i), NOTES[i % len(NOTES)],
                                   "%.2f" % (10 + 11 * (i % 9)), PEOPLE[i % len(PEOPLE)]))

    def reset(self):
        self.faults = []
        self.verify = False
        self.link_style = "absolute"
        self.page_requests = {}
        self.last_cookie = ""
        self.last_user_agent = ""

    def next_serial(self, when):
        self.serial_counter += 1
        return when.strftime("%Y%m%d") + "2100100" + "%013d" % (4001000000 + self.serial_counter)

    def take_fault(self, page):
        for fault in self.faults:
            if fault["page"] is not None and fault["page"] != page:
                continue
            if fault["count"] > 0:
                fault["count"] -= 1
                if fault["count"] == 0:
                    self.faults.remove(fault)
            return fault
        return None


@functools.lru_cache(maxsize=4)
def gzip_of_zeros(size):
    packer = zlib.compressobj(9, zlib.DEFLATED, 31)  # 31: gzip framing
    block = bytes(1 << 20)
    parts = [packer.compress(block[:min(len(block), size - done)]) for done in range(0, size, len(block))]
    return b"".join(parts) + packer.flush()


def parse_date(text):
    try:
        return datetime.datetime.strptime(text, "%Y.%m.%d").date()
    except (TypeError, ValueError):
        return None


def gbk_page(title, body):
    text = ("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"gbk\">\r\n"
            "<title>" + html.escape(title) + "</title>\r\n</head>\r\n<body>\r\n" + body +
            "\r\n</body>\r\n</html>\r\n")
    return text.encode(ENCODING, "replace")


def signin_form_page():
    return gbk_page(FORM_TITLE, (
        "<div class=\"login-box\">\r\n  <h2>登录支付宝</h2>\r\n"
        "  <form method=\"post\" action=\"/login\">\r\n"
        "    <input type=\"text\" name=\"logonId\" value=\"seller@example.com\">\r\n"
        "    <input type=\"password\" name=\"password\" value=\"secret\">\r\n"
        "    <button type=\"submit\" id=\"J-login-btn\">登 录</button>\r\n"
        "  </form>\r\n</div>"))


def centre_page():
    return gbk_page(CENTRE_TITLE, "<p>登录成功。</p>\r\n<a href=\"" + RECORDS_PATH +
                    "\">查看交易记录</a>")


def verify_page():
    return gbk_page("安全验证 - 支付宝", "<div class=\"risk\">\r\n  <p>您的操作过于频繁，"
                    "请拖动滑块完成验证。</p>\r\n  <div class=\"slider\"></div>\r\n</div>")


def busy_page():
    return gbk_page("系统繁忙 - 支付宝", "<div class=\"error\">\r\n  <p>系统繁忙，请稍后再试。</p>\r\n</div>")


def row_html(bill, base):
    name = html.escape(bill.name)
    amount = bill.amount
    sign = "+"
    try:
        value = float(amount)
        sign = "-" if value < 0 else "+"
        amount = "%.2f" % abs(value)
    except ValueError:
        pass
    cells = [
        ("time", "    <p class=\"time-d\">%s</p>\r\n    <p class=\"time-h ft-gray\">%s</p>" %
         (bill.when.strftime("%Y.%m.%d"), bill.when.strftime("%H:%M"))),
        ("memo", "    <p class=\"memo-info\">%s</p>" % html.escape(bill.note)),
        ("name", "    <p class=\"consume-title\">\r\n      <a href=\"%s/record/detail.htm?"
                 "tradeNo=%s\" title=\"%s\">%s</a>\r\n    </p>\r\n"
                 "    <p class=\"ft-gray\" title=\"%s\">流水号:%s</p>" %
         (base, bill.serial, name, name, bill.serial, bill.serial)),
        ("other", "    <p class=\"name\">%s</p>" % html.escape(bill.counterparty)),
        ("amount", "    <span class=\"amount-pay\">%s %s</span>" % (sign, html.escape(amount))),
        ("detail", "    <a href=\"%s/record/detail.htm?bizInNo=%s&amp;bizType=TRADE\">详情</a>" %
         (base, bill.serial)),
        ("status", "    <p class=\"text-success\">%s</p>" % html.escape(bill.status)),
        ("action", "    <a href=\"#\" class=\"J-delete\">删除</a>"),
    ]
    lines = ["  <tr class=\"J-item\">"]
    for css, inner in cells:
        lines.append("   <td class=\"%s\">\r\n%s\r\n   </td>" % (css, inner))
    lines.append("  </tr>")
    return "\r\n".join(lines)


def pager_html(css, link_prefix, query, page, total):
    def href(n):
        q = dict(query)
        q["pageNum"] = str(n)
        return link_prefix + "&amp;".join(k + "=" + urllib.parse.quote(v, safe=".") for k, v in q.items())
    parts = ["<div class=\"page-link %s\">" % css]
    if page > 1:
        parts.append("  <a class=\"page-prev\" href=\"%s\">&lt;上一页</a>" % href(page - 1))
    parts.append("  <span class=\"page-cur\">%d</span>" % page)
    if page < total:
        parts.append("  <a class=\"page-next\" href=\"%s\">下一页&gt;</a>" % href(page + 1))
    parts.append("</div>")
    return "\r\n".join(parts)


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "FakeRecords/1.0"
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("fake_records: " + fmt % args + "\n")

    @property
    def state(self):
        return self.server.state

    def send_body(self, status, body, content_type="text/html; charset=GBK", headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def send_oversized(self, kind, size):
        """An answer far larger than any records page; stops when the client hangs up."""
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=GBK")
        if kind == "gzipbomb":
            body = gzip_of_zeros(size)
            self.send_header("Content-Encoding", "gzip")
            self.send_header("Content-Length", str(len(body)))
        elif kind == "hugelength":
            self.send_header("Content-Length", str(size))
        else:
            self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        try:
            if kind == "gzipbomb":
                return self.wfile.write(body)
            block = b"<tr>" + bytes(65532)
            for _ in range(size // len(block)):
                if kind == "huge":
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(block), block))
                else:
                    self.wfile.write(block)
            if kind == "huge":
                self.wfile.write(b"0\r\n\r\n")
        except (BrokenPipeError, ConnectionResetError):
            pass

    def params(self, url):
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        if self.command == "POST":
            length = int(self.headers.get("Content-Length") or 0)
            form = self.rfile.read(length).decode("utf-8", "replace") if length else ""
            query.update(urllib.parse.parse_qsl(form, keep_blank_values=True))
        return query

    def signed_in(self):
        cookie = self.headers.get("Cookie") or ""
        for part in cookie.split(";"):
            name, _, value = part.strip().partition("=")
            if name == COOKIE_NAME and value in self.state.sessions:
                return True
        return False

    def new_session_cookie(self):
        token = secrets.token_hex(16)
        with self.state.lock:
            self.state.sessions.add(token)
        cookie = "%s=%s; Path=/; HttpOnly" % (COOKIE_NAME, token)
        return token, cookie + ("; Secure" if self.state.tls else "")

    def do_GET(self):
        self.route()

    def do_POST(self):
        self.route()

    def route(self):
        url = urllib.parse.urlsplit(self.path)
        params = self.params(url)
        if url.path.startswith("/_control/"):
            return self.control(url.path[len("/_control/"):], params)
        if url.path == "/login" and (self.command == "POST" or params.get("auto")):
            _, cookie = self.new_session_cookie()
            self.send_response(303)
            self.send_header("Location", CENTRE_PATH)
            self.send_header("Set-Cookie", cookie)
            self.send_header("Content-Length", "0")
            return self.end_headers()
        if url.path == "/login":
            return self.send_body(200, signin_form_page())
        if url.path == CENTRE_PATH:
            return self.send_body(200, centre_page())
        if url.path == RECORDS_PATH:
            return self.records(params)
        self.send_body(404, gbk_page("404", "<p>not found</p>"))

    def records(self, params):
        try:
            page = max(1, int(params.get("pageNum", "1")))
        except ValueError:
            page = 1
        state = self.state
        with state.lock:
            state.page_requests[page] = state.page_requests.get(page, 0) + 1
            state.last_cookie = self.headers.get("Cookie") or ""
            state.last_user_agent = self.headers.get("User-Agent") or ""
            fault = state.take_fault(page)
            fault = dict(fault) if fault else None
        if fault and fault["kind"] == "slow":
            time.sleep(fault["delay"])
        elif fault and fault["kind"] == "500":
            return self.send_body(500, gbk_page("500", "<p>Internal Server Error</p>"))
        elif fault and fault["kind"] == "empty":
            return self.send_body(200, b"")
        elif fault and fault["kind"] == "notable":
            return self.send_body(200, busy_page())
        elif fault and fault["kind"] == "drop":
            self.close_connection = True
            return
        elif fault and fault["kind"] in ("huge", "hugelength", "gzipbomb"):
            return self.send_oversized(fault["kind"], fault["mb"] << 20)
        if not (state.open or self.signed_in()):
            return self.send_body(200, signin_form_page())
        if state.verify:
            return self.send_body(200, verify_page())
        self.send_body(200, self.records_page(params, page))

    def records_page(self, params, page):
        state = self.state
        begin, end = parse_date(params.get("beginDate")), parse_date(params.get("endDate"))
        with state.lock:
            bills = [b for b in state.bills
                     if (begin is None or b.when.date() >= begin) and (end is None or b.when.date() <= end)]
            style = state.link_style
        total = max(1, math.ceil(len(bills) / state.per_page))
        shown = bills[(page - 1) * state.per_page:page * state.per_page]
        scheme = "https" if state.tls else "http"
        host = self.headers.get("Host") or "127.0.0.1"
        base = scheme + "://" + host
        if style == "relative":
            prefix = "standard.htm?"
        else:
            if style == "foreign":
                host = host.replace("127.0.0.1", "localhost") if "127.0.0.1" in host else host.replace("localhost", "127.0.0.1")
            prefix = scheme + "://" + host + RECORDS_PATH + "?"
        query = {k: v for k, v in params.items()}
        rows = "\r\n".join(row_html(b, base) for b in shown)
        table = ("<table class=\"ui-record-table\" id=\"tradeRecordsIndex\">\r\n <thead>\r\n  <tr>\r\n"
                 "   <th>创建时间</th><th>备注</th><th>名称</th><th>对方</th><th>金额</th>"
                 "<th>详情</th><th>状态</th><th>操作</th>\r\n  </tr>\r\n </thead>\r\n <tbody>\r\n" +
                 rows + "\r\n </tbody>\r\n</table>")
        body = (pager_html("page-top", prefix, query, page, total) + "\r\n" + table + "\r\n" +
                pager_html("page-bottom", prefix, query, page, total))
        return gbk_page("我的账单 - 支付宝", body)

    def control(self, action, params):
        state = self.state
        reply = "ok"
        with state.lock:
            if action == "pay":
                now = datetime.datetime.now().replace(microsecond=0)
                if params.get("when"):  # a payment's own time, "YYYY-MM-DD HH:MM" (figures on past days)
                    now = datetime.datetime.strptime(params["when"], "%Y-%m-%d %H:%M")
                bill = Bill(state.next_serial(now), now, params.get("name", ""), params.get("note", ""),
                            params.get("amount", "0.00"), params.get("counterparty", ""),
                            params.get("status", "交易成功"))
                state.bills.insert(0, bill)
                reply = bill.serial
            elif action == "fault":
                kind = params.get("kind", "")
                if kind not in ("slow", "500", "empty", "notable", "drop", "huge", "hugelength",
                                "gzipbomb"):
                    return self.send_body(400, b"unknown fault kind\n", "text/plain")
                page = params.get("page")
                state.faults.append({"kind": kind, "count": int(params.get("count", "1")),
                                     "page": int(page) if page else None,
                                     "delay": float(params.get("delay", "5")),
                                     "mb": int(params.get("mb", "150"))})
            elif action == "status":
                for bill in state.bills:
                    if bill.serial == params.get("serial"):
                        bill.status = params.get("status", "交易成功")
                        break
                else:
                    return self.send_body(404, b"no such bill\n", "text/plain")
            elif action == "links":
                state.link_style = params.get("style", "absolute")
            elif action == "reset":
                state.reset()
            elif action == "stats":
                reply = json.dumps({"page_requests": {str(k): v for k, v in state.page_requests.items()},
                                    "last_cookie": state.last_cookie,
                                    "last_user_agent": state.last_user_agent})
            elif action == "signout":
                # Every session ends (and so does --open): the sign-in has lapsed.
                state.sessions.clear()
                state.open = False
            elif action == "verify":
                state.verify = params.get("on", "1") == "1"
            elif action == "open":
                state.open = params.get("on", "1") == "1"
            elif action == "per-page":
                state.per_page = max(1, int(params.get("n", "5")))
            elif action == "bills":
                reply = json.dumps([b.as_json() for b in state.bills], ensure_ascii=False)
            elif action != "signin":
                return self.send_body(404, b"unknown control\n", "text/plain")
        if action == "signin":
            token, cookie = self.new_session_cookie()
            return self.send_body(200, ("%s=%s\n" % (COOKIE_NAME, token)).encode(), "text/plain",
                                  [("Set-Cookie", cookie)])
        self.send_body(200, (reply + "\n").encode("utf-8"), "text/plain; charset=utf-8")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64  # many clients at once must not see dropped connects

    def handle_error(self, request, client_address):
        # Clients that gave up (time-out tests) break the pipe; say so only when asked.
        if self.verbose:
            super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", default="127.0.0.1", help="address to listen on (default 127.0.0.1)")
    parser.add_argument("--port", type=int, default=0, help="port; 0 picks a free one (default)")
    parser.add_argument("--pages", type=int, default=3, help="pages of records at start (default 3)")
    parser.add_argument("--per-page", type=int, default=5, help="bills per page (default 5)")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"), help="serve https with this certificate")
    parser.add_argument("--open", action="store_true", help="serve records without signing in")
    parser.add_argument("--verbose", action="store_true", help="log every request to stderr")
    args = parser.parse_args()

    server = Server((args.host, args.port), Handler)
    server.state = State(args)
    server.verbose = args.verbose
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])
        # The handshake then happens on the request's own thread, not in the accept loop.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
