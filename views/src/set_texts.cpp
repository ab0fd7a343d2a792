#include "views/set_texts.h"

#include <algorithm>

#include "platform/text.h"
#include "resources/string_ids.h"
#include "resources/strings.h"

namespace kestrune::views {

std::wstring MemberLabel(ctl::SetKind setType, std::uint8_t position) {
  const int p = position;
  if (IsStripedSet(setType)) return res::FormatString(res::kStrMemberStriped, p);
  if (IsMirroredSetOnly(setType)) return res::FormatString(res::kStrMemberMirror, p);
  if (IsMirroredStripedSet(setType))
    return res::FormatString(res::kStrMemberMirrorStriped, (p >> 1) & 1, p & 1);
  return res::FormatString(res::kStrFormatDecimal, p);
}

std::optional<std::uint8_t> MemberIndexOfLabel(ctl::SetKind setType, const std::wstring& label) {
  for (int p = 0; p <= 255; ++p) {
    const auto position = static_cast<std::uint8_t>(p);
    if (const auto removable = RemovableMember(setType, position);
        removable && MemberLabel(setType, position) == label)
      return removable;
  }
  return std::nullopt;
}

std::optional<std::uint8_t> RemovableMember(ctl::SetKind setType, std::uint8_t position) {
  if (IsMirroredSetOnly(setType)) return position;
  // A mirrored striped label carries two bits only: positions 0..3.
  if (IsMirroredStripedSet(setType) && position <= 3) return position;
  return std::nullopt;
}

std::wstring MemberLocation(bool extendedAdapter, std::uint8_t deviceIndex) {
  const int d = deviceIndex;
  if (extendedAdapter) return res::FormatString(res::kStrChannelNumber, d);
  return res::LoadString((d & 2) == 0 ? res::kStrPrimary : res::kStrSecondary) +
         res::LoadString((d & 1) == 0 ? res::kStrMaster : res::kStrSlave);
}

std::vector<MemberRow> MemberRows(const ctl::SetRecord& set, bool extendedAdapter) {
  std::vector<MemberRow> rows;
  const std::size_t count = std::min<std::size_t>(set.memberCount, ctl::kMaxMembers);
  for (std::size_t i = 0; i < count; ++i) {
    const ctl::MemberRecord& member = set.members[i];
    if (member.status == ctl::MemberStatus::kRemoved) continue;
    MemberRow row;
    row.position = member.position;
    row.deviceIndex = member.deviceIndex;
    row.label = MemberLabel(set.kind, member.position);
    row.location = MemberLocation(extendedAdapter, member.deviceIndex);
    row.state = member.state;
    row.rebuilding = member.Rebuilding();
    if (row.rebuilding) row.rebuild = member.rebuildPercent;
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace kestrune::views
