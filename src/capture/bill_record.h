#pragma once
#include <string>

namespace fahuo {

// One bill of the records page; every text is GBK, empty when not filled.
struct BillRecord {
  std::string 流水号;  // serial number: the bill's identity
  std::string 日期;
  std::string 名称;  // what the buyer typed with the payment
  std::string 对方;
  std::string 金额;
  std::string 状态;
  std::string 备注;
  std::string 链接;
  std::string 备用;
  bool operator==(const BillRecord&) const = default;
};

}  // namespace fahuo
