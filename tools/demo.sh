#!/usr/bin/env bash
# The whole road of one payment on this machine, with no account anywhere: the fake records
# service, a local SMTP server that prints what it receives, and fahuo pointed at both with
# a data folder of its own (the seller's own files are never touched).
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
demo=$top/.fahuo-demo
py=/usr/bin/python3
rm -rf "$demo"
mkdir -p "$demo/data" "$demo/mail"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT INT TERM

wait_port() {  # file -> port from its "PORT n" line
  for _ in $(seq 100); do
    if grep -q '^PORT ' "$1" 2>/dev/null; then sed -n 's/^PORT //p' "$1" | head -n1; return; fi
    sleep 0.1
  done
  echo "demo: a service did not start; see $1" >&2
  exit 1
}

"$py" -u "$top/tools/fake_records.py" --port 0 --pages 3 --per-page 5 >"$demo/records.log" 2>&1 &
pids+=($!)
# The seller's inbox (a local Dovecot): the sink bounces a mail to nouser… into it.
mkdir -p "$demo/imap"
"$py" -u "$top/tools/imap_server.py" --folder "$demo/imap" --maildir "$demo/imap/seller" \
  --user seller@demo.example --password demo \
  --also spare@demo.example demo "$demo/imap/spare" >"$demo/imap.log" 2>&1 &
pids+=($!)
imap_port=$(wait_port "$demo/imap.log")
"$py" -u "$top/tools/smtp_sink.py" --port 0 --maildir "$demo/mail" --print \
  --bounce-maildir "$demo/imap/seller" >"$demo/smtp.log" 2>&1 &
pids+=($!)
mkdir -p "$demo/spare-mail"
"$py" -u "$top/tools/smtp_sink.py" --port 0 --maildir "$demo/spare-mail" >"$demo/spare-smtp.log" 2>&1 &
pids+=($!)
"$py" -u "$top/tools/webhook_sink.py" --port 0 >"$demo/webhook.log" 2>&1 &
pids+=($!)
smtp_pid=${pids[2]}
records_port=$(wait_port "$demo/records.log")
smtp_port=$(wait_port "$demo/smtp.log")
hook_port=$(wait_port "$demo/webhook.log")
spare_port=$(wait_port "$demo/spare-smtp.log")

# Settings of the demo seller: the local SMTP server, any account and password.
# Alerts go to the seller's phone address (over the same SMTP server) and to the local
# webhook receiver. A second local SMTP server is the spare sending account (备用发信邮箱).
printf '[支付宝自助]\nIP=127.0.0.1:%s\n端口=seller@demo.example\n连接码=demo\n定时=3000\n\n[提醒]\n邮箱=phone@demo.example\n网址=http://127.0.0.1:%s/hook\n\n[发信]\n备用服务器=127.0.0.1:%s\n备用邮箱=spare@demo.example\n备用密码=demo\n\n[退信]\n服务器=127.0.0.1:%s\n检查间隔=1\n' \
  "$smtp_port" "$hook_port" "$spare_port" "$imap_port" | iconv -f UTF-8 -t GB18030 >"$demo/data/Peizhi.ini"
"$top/$build/bin/fahuo-cli" make-bill-table "$demo/data/zhifubaoZD.edb"

pay="http://127.0.0.1:$records_port/_control/pay"
cat <<MSG

  fahuo demo
  ----------
  Records service : http://127.0.0.1:$records_port  (log: $demo/records.log)
  SMTP server     : 127.0.0.1:$smtp_port       (received mail: $demo/smtp.log, $demo/mail/)
  Webhook receiver: http://127.0.0.1:$hook_port/hook  (alerts pushed: $demo/webhook.log)

  1. In fahuo's browser press the sign-in button: the bill list fills with 15 baseline bills.
  2. Press 发货内容设置, add a rule (最小金额 60, 最大金额 100, a subject and a body), 保存.
  3. Press 开始 (interval 3000 ms).
  4. Make a payment of 98 yuan from a buyer with QQ number 12345678, in another terminal:
       curl -s "$pay?name=12345678&note=QQ&amount=98.00&counterparty=%E4%B9%B0%E5%AE%B6"
  5. Within a few seconds 发货提示 shows the delivery, and the mail appears here:
       tail -f $demo/smtp.log

  6. Alerts: sign out with  curl -s http://127.0.0.1:$records_port/_control/signout
     — within two minutes an alert mail to phone@demo.example and a push in
     $demo/webhook.log; sign in again in fahuo's browser for the "已重新登录" alert.
     提醒设置 → 发送测试提醒 tries both at once.

  7. A bounce: pay again with a buyer note naming an address that does not exist,
       curl -s "$pay?name=nouser1%40demo.example&note=mail&amount=98.00&counterparty=%E4%B9%B0%E5%AE%B6"
     — the mail goes out, the SMTP server bounces it into the seller's inbox (local IMAP
     server 127.0.0.1:$imap_port), and within about two minutes the bill shows 退信 (地址不存在),
     the log says 退信：…, and the alert names it. 提醒设置 → 测试收件 counts the inbox.

  8. The spare account: stop the first SMTP server with  kill $smtp_pid  and pay again —
     发货提示 says 改用备用发信邮箱, and the mail appears in $demo/spare-mail/.

  Quit fahuo from its tray menu (关闭), or close this terminal with Ctrl+C.

MSG

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display; start it from a desktop session (or under Xvfb with DISPLAY set)." >&2
  exit 1
fi
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
"$top/$build/bin/fahuo" --data-dir "$demo/data" --records-base "http://127.0.0.1:$records_port"
