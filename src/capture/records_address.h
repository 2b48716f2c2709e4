#pragma once
// Addresses of the payment service's transaction-records pages.
#include <string>

#include "platform/clock.h"

namespace fahuo {

// Scheme, host and port of the records service, without a trailing "/".
// Default "https://consumeprod.alipay.com"; --records-base replaces it.
std::string RecordsBase();
void SetRecordsBase(const std::string& base);

// RecordsBase() + "/record/standard.htm": where the seller signs in.
std::string RecordsStartAddress();

// The host part of RecordsBase() ("consumeprod.alipay.com", "127.0.0.1").
std::string RecordsHost();

}  // namespace fahuo
