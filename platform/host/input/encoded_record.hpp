#pragma once

#include "platform/coding/encoder.hpp"
#include "platform/coding/result.hpp"

#include <any>
#include <functional>
#include <string>
#include <vector>

namespace host {

// A record written back as compact JSON, with what each of its members took.
struct EncodedRecord {
  std::string json;
  std::vector<coding::MemberSize> members;
};

using ErasedEncode = std::function<void(const std::any&, coding::Encoder&)>;

coding::Result<EncodedRecord, coding::EncodingError> encodeRecord(const ErasedEncode& encode,
                                                                  const std::any& record);

}  // namespace host
