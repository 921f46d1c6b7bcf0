#include "platform/host/input/encoded_record.hpp"

namespace host {

coding::Result<EncodedRecord, coding::EncodingError> encodeRecord(const ErasedEncode& encode,
                                                                  const std::any& record) {
  EncodedRecord out;
  // Room for a typical record at once, rather than growing through each doubling.
  out.json.reserve(256);
  out.members.reserve(16);
  {
    coding::Encoder encoder(out.json);
    encoder.measureMembers(out.members);
    encode(record, encoder);
    if (encoder.error()) return *encoder.error();
  }
  return out;
}

}  // namespace host
