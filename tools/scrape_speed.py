#!/usr/bin/python3
"""Times `fahuo-cli scrape` on a generated records page beside Python lxml doing the same
extraction (both as whole processes, output to /dev/null).

usage: tools/scrape_speed.py FAHUO_CLI [--mb 30] [--runs 5]
lxml (Debian: python3-lxml) is needed only for the comparison; without it only fahuo-cli
is timed.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

ROW = """      <tr id="J-item-{i}" class="J-item-even" data-biz="TRADE">
        <td class="time"><p class="time-d">2024.05.12</p><p class="time-h ft-gray">&nbsp;14:03</p></td>
        <td class="memo"><p class="memo-info">视频教程 第2套</p></td>
        <td class="name"><p class="consume-title"><a href="#" title="QQ 123456789">QQ 123456789</a></p>
          <p class="name-serial ft-gray" title="{serial}">流水号:{serial}</p></td>
        <td class="other"><p class="name">李*四 138****0000</p><p class="ft-gray">w***@example.com</p></td>
        <td class="amount"><span class="amount-pay">+ 1,280.00</span></td>
        <td class="detail"><a href="https://consume.records.example.com/record/detail.htm?bizType=TRADE&amp;tradeNo={serial}&amp;from=standard" target="_blank" class="J-detail">详情</a></td>
        <td class="status"><p class="text-success">交易成功</p><p class="ft-gray">已收款 资金已到账</p></td>
        <td class="action"><a href="#" class="J-delete" data-id="{serial}">删除</a>
          <a href="#" class="J-remark" data-id="{serial}">备注</a></td>
      </tr>
"""

LXML_SCRAPE = r'''
import json, sys
import lxml.html
def clean(el):
    return "".join(el.text_content().split())
page = open(sys.argv[1], "rb").read()
root = lxml.html.document_fromstring(page, parser=lxml.html.HTMLParser(encoding="gbk"))
out = sys.stdout
rows = root.iter("tr")
next(rows, None)  # the header
for tr in rows:
    cells = tr.findall("td")
    if len(cells) != 8:
        continue
    paragraphs = cells[2].findall("p")
    links = cells[5].findall(".//a")
    out.write(json.dumps({
        "流水号": paragraphs[1].get("title", "") if len(paragraphs) > 1 else "",
        "日期": clean(cells[0]), "名称": clean(paragraphs[0]) if paragraphs else clean(cells[2]),
        "对方": clean(cells[3]), "金额": clean(cells[4]), "状态": clean(cells[6]),
        "备注": clean(cells[1]), "链接": links[0].get("href", "") if links else "",
    }, ensure_ascii=False) + "\n")
'''


def make_page(path, megabytes):
    head = "<html><body><table><tr><th>时间</th><th>备注</th></tr>\n".encode("gbk")
    with open(path, "wb") as f:
        f.write(head)
        i = 0
        while f.tell() < megabytes << 20:
            serial = f"2024051222001400{100000000 + i}"
            f.write(ROW.format(i=i, serial=serial).encode("gbk"))
            i += 1
        f.write(b"</table></body></html>\n")
    return i


def best_of(argv, runs):
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(argv, stdout=subprocess.DEVNULL, check=True)
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
    return best


def main():
    p = argparse.ArgumentParser()
    p.add_argument("cli")
    p.add_argument("--mb", type=int, default=30)
    p.add_argument("--runs", type=int, default=5)
    args = p.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        page = os.path.join(tmp, "page.htm")
        rows = make_page(page, args.mb)
        print(f"page: {os.path.getsize(page) / 1e6:.1f} MB, {rows} rows")
        cli = best_of([args.cli, "scrape", page], args.runs)
        print(f"fahuo-cli scrape: {cli:.3f} s (best of {args.runs})")
        try:
            import lxml  # noqa: F401
        except ImportError:
            print("lxml not installed: no comparison")
            return
        script = os.path.join(tmp, "lxml_scrape.py")
        with open(script, "w", encoding="utf-8") as f:
            f.write(LXML_SCRAPE)
        lx = best_of([sys.executable, script, page], args.runs)
        print(f"python3 lxml:     {lx:.3f} s (best of {args.runs})")
        print(f"fahuo-cli is {lx / cli:.1f}x faster")


if __name__ == "__main__":
    main()
