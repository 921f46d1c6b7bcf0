#include "platform/host/input/encoded_record.hpp"

namespace host {

coding::Result<EncodedRecord, coding::EncodingError> encodeRecord(const ErasedEncode& encode,
                                                                  const std::any& record) {
  EncodedRecord out;
  {
    coding::Encoder encoder(out.json);
    encoder.measureMembers(out.members);
    encode(record, encoder);
    if (encoder.error()) return *encoder.error();
  }
  return out;
}

}  // namespace host
