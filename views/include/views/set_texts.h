// What the set pages make of a set's records: the kind of set, the member
// row texts and the member a row stands for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller/model.h"

namespace kestrune::views {

// Set kinds, by the driver's code.
inline bool IsStripedSet(ctl::SetKind kind) {
  return kind == ctl::SetKind::kStriped;
}
inline bool IsMirroredSetOnly(ctl::SetKind kind) {
  return kind == ctl::SetKind::kMirrored;
}
inline bool IsMirroredStripedSet(ctl::SetKind kind) {
  return kind == ctl::SetKind::kMirroredStriped;
}
// Either of the two mirrored kinds: these have a rebuild rate.
inline bool IsMirroredSet(ctl::SetKind kind) {
  return IsMirroredSetOnly(kind) || IsMirroredStripedSet(kind);
}

// The "Mbr Idx" label of the member at `position`: "Striped%d", "Mirror%d" or
// "Mirror%d Striped%d" (mirror half, then stripe); "%d" for a set type none of
// those.
std::wstring MemberLabel(ctl::SetKind setKind, std::uint8_t position);

// The member position that Remove names for a row labelled `label`: the
// mirror number after "Mirror", for a mirrored striped set twice that plus the
// stripe number. Found as the position whose label (in the language shown)
// this is, so a label of another shape (a striped set's, a damaged one) names
// no member rather than a wrong one.
std::optional<std::uint8_t> MemberIndexOfLabel(ctl::SetKind setKind, const std::wstring& label);

// The member position Remove sends for the member at `position`: a mirrored
// set's any, a mirrored striped set's 0..3 (its label carries two bits); none
// for a striped set or a set of unknown kind, whose members are not removed.
std::optional<std::uint8_t> RemovableMember(ctl::SetKind setKind, std::uint8_t position);

// The "Dev Loc" text of a device index: "Channel %d" on an extended adapter,
// else "Primary"/"Secondary" joined to "Master"/"Slave".
std::wstring MemberLocation(bool extendedAdapter, std::uint8_t deviceIndex);

// One listed member of the Members page.
struct MemberRow {
  std::uint8_t position = 0;
  std::uint8_t deviceIndex = 0;
  std::wstring label;
  std::wstring location;
  std::wstring state;
  std::wstring rebuild;  // empty unless the member rebuilds or syncs
  bool rebuilding = false;
};

// The rows of a set's members in member order, removed members left out; no
// more than the record holds, whatever its member count says.
std::vector<MemberRow> MemberRows(const ctl::SetRecord& set, bool extendedAdapter);

}  // namespace kestrune::views
