// English (409) string table.
#include <unordered_map>

#include "resources/strings.h"

namespace kestrune::res {
namespace {

const std::unordered_map<unsigned, std::wstring>& Table() {
  static const std::unordered_map<unsigned, std::wstring> table = {
      {57, L"\nReturn code %d."},
      {67, L"%ld MB"},
      {157, L"Channel %d"},
      {234, L"Primary"},
      {235, L"Secondary"},
      {236, L"Master"},
      {237, L"Slave"},
      {238, L"Operation completed successfully."},
      {239, L"Reboot required for change to take effect."},
      {240, L"Invalid parameter."},
      {241, L"Caller's buffer is too small."},
      {242, L"General catch-all error status."},
      {243, L"Max number of arrays reach."},
      {244, L"Invalid Array Index."},
      {245, L"Max number of member reached."},
      {246, L"Invaild device index."},
      {247, L"Device already in use."},
      {248, L"Device not part of array set."},
      {249, L"Rebuild already in progress."},
      {250, L"Volume too small."},
      {251, L"Can not remove last member.."},
      {252, L"Unknown error code returned."},
      {253, L"NO BRV ADAPTERS FOUND!!!"},
      {334, L"Unable to load BRVSUPP.VXD\nMake Sure it is in \\WINDOWS\\SYSTEM\\IOSUBSYS."},
      {359, L"Device"},
      {360, L"Generation 1 (1.5 Gb/s)"},
      {361, L"Get Spare Drives"},
      {362, L"Enable Spare"},
      {363, L"Add Member"},
      {364, L"Remove Member"},
      {367, L"Delete Array"},
      {368, L"Create Spare Drives"},
      {369, L"Delete Spare Drive"},
      {370, L"Get RIO Version"},
      {371, L"Set Rebuild Rate"},
      {372, L"Enable GPIO interface"},
      {373, L"Read/Write GPIO status"},
  };
  return table;
}

}  // namespace

const std::wstring& LoadString(unsigned id) {
  static const std::wstring empty;
  const auto& table = Table();
  auto it = table.find(id);
  return it == table.end() ? empty : it->second;
}

}  // namespace kestrune::res
