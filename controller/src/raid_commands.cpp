// Commands that change an adapter's sets, spares and channels.
#include "controller/controller_io.h"
#include "controller/wire.h"
#include "resources/string_ids.h"

namespace kestrune::ctl {

bool CControllerIo::Command(AdapterRecord& adapter, std::uint32_t code, std::uint32_t length,
                            std::initializer_list<std::uint8_t> bytes, unsigned captionId) {
  Lock lock(*this);
  platform::WaitCursor wait(*services_.ui);
  wire::Request request(wire::kSignatureRio, wire::kTimeout, code, length, wire::kRioBufferSize,
                        wire::kRioBufferSize);
  std::size_t offset = 0;
  for (std::uint8_t byte : bytes) request.Put(wire::U8{offset++}, byte);
  return Send(adapter, request, {0}, captionId);
}

bool CControllerIo::DeleteSet(AdapterRecord& adapter, std::uint8_t setIndex) {
  if (!Command(adapter, wire::code::kDeleteSet, wire::length::kDeleteSet, {setIndex},
               res::kStrOpDeleteArray))
    return false;
  // The re-enumeration releases the adapter record: nothing may use it afterwards.
  ReenumerateAdapter(adapter.adapterNumber);
  return true;
}

bool CControllerIo::CreateSpare(AdapterRecord& adapter, std::uint8_t deviceIndex) {
  return Command(adapter, wire::code::kCreateSpare, wire::length::kOneByte, {deviceIndex},
                 res::kStrOpCreateSpares);
}

bool CControllerIo::DeleteSpare(AdapterRecord& adapter, std::uint8_t deviceIndex) {
  return Command(adapter, wire::code::kDeleteSpare, wire::length::kOneByte, {deviceIndex},
                 res::kStrOpDeleteSpare);
}

bool CControllerIo::AddMember(AdapterRecord& adapter, std::uint8_t setIndex,
                              std::uint8_t deviceIndex) {
  return Command(adapter, wire::code::kAddMember, wire::length::kTwoBytes, {deviceIndex, setIndex},
                 res::kStrOpAddMember);
}

bool CControllerIo::RemoveMember(AdapterRecord& adapter, std::uint8_t setIndex,
                                 std::uint8_t position) {
  return Command(adapter, wire::code::kRemoveMember, wire::length::kTwoBytes, {setIndex, position},
                 res::kStrOpRemoveMember);
}

bool CControllerIo::EnableSpare(AdapterRecord& adapter, std::uint8_t setIndex, bool useSpare) {
  return Command(adapter, wire::code::kEnableSpare, wire::length::kTwoBytes,
                 {setIndex, static_cast<std::uint8_t>(useSpare ? 1 : 0)}, res::kStrOpEnableSpare);
}

bool CControllerIo::SetRebuildRate(AdapterRecord& adapter, std::uint8_t setIndex,
                                   std::uint8_t rate) {
  return Command(adapter, wire::code::kSetRebuildRate, wire::length::kTwoBytes, {setIndex, rate},
                 res::kStrOpSetRebuildRate);
}

bool CControllerIo::ResetChannel(AdapterRecord& adapter, std::uint8_t channel) {
  Lock lock(*this);
  std::uint8_t pathId[1] = {channel};
  return services_.deviceControl
      ->Control(adapter.handle, platform::kIoctlStorageResetBus, pathId, 1, 0)
      .ok;
}

}  // namespace kestrune::ctl
