#pragma once
// fahuo-cli subcommands; each takes the arguments after its own name and returns the exit
// code. Output is UTF-8; pages are read as bytes.
namespace fahuo::cli {

int Scrape(int argc, char** argv);          // scrape FILE|-
int NextPage(int argc, char** argv);        // next-page FILE ADDRESS
int RecordsAddress(int argc, char** argv);  // records-address [--host HOST] [--date YYYY-MM-DD]
int Recipient(int argc, char** argv);       // recipient NAME NOTE
int MakeBillTable(int argc, char** argv);   // make-bill-table PATH
int Stock(int argc, char** argv);           // stock add|list|low --data-dir DIR ...
int Report(int argc, char** argv);          // report --data-dir DIR [--from D] [--to D] [--by B]

}  // namespace fahuo::cli
