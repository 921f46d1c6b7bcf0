#pragma once

#include "platform/coding/json_document.hpp"
#include "platform/host/input/sender_warnings.hpp"
#include "platform/widgets/activity_type.hpp"

#include <string_view>
#include <vector>

namespace host {

// Whether an unknown member's name looks like a slip for `known`: equal once case and the
// separators `_`, `-`, `.` and space are set aside (`status_code`, `StatusCode`), one a prefix of
// the other of at least six letters (`appIcon`), or one or two letters off (`statusCdoe`). Names
// longer than 64 bytes are never close: the comparison stays bounded whatever a sender sends.
bool isNearName(std::string_view name, std::string_view known);

// What one record, as the sender wrote it, leaves the views with although it decodes: a member
// the record does not know whose name is close to an optional one it lacks, a fraction outside 0
// to 1, an image text that gives no image. `object` is the record's JSON object in `document`;
// `path` leads the member paths ("aps.content-state."); `uses` is given for a content state.
void addMemberWarnings(const coding::JsonDocument& document, const coding::JsonValue& object,
                       const widgets::RecordMembers& members, const widgets::ContentStateUses* uses,
                       std::string_view path, std::vector<Warning>& out);

}  // namespace host
