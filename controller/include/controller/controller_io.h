// CControllerIo: every exchange with the adapters' driver, the configuration
// model it keeps, discovery, the RAID commands and the Plug and Play steps.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "controller/model.h"
#include "platform/clock.h"
#include "platform/device_control.h"
#include "platform/device_installer.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/ui_services.h"

namespace kestrune::ctl {

// Requests are built only inside the controller: its users call operations.
namespace wire {
class Request;
}

// What the user interface reacts to. Called on the thread that changed the
// model, after the model lock is released; implementations post to their own
// thread.
class ModelObserver {
 public:
  virtual ~ModelObserver() = default;
  // After every set read: true when every member of every set read is current
  // (also when there is no set), which selects the tray's normal icon.
  virtual void OnSetHealth(bool allCurrent) = 0;
  // The adapter list was emptied by a re-enumeration: views drop the items of
  // every adapter.
  virtual void OnAdaptersReleased() = 0;
};

struct ControllerServices {
  std::shared_ptr<platform::DeviceControl> deviceControl;
  std::shared_ptr<platform::DeviceInstaller> deviceInstaller;
  std::shared_ptr<platform::Registry> registry;
  std::shared_ptr<platform::Files> files;
  std::shared_ptr<platform::UiServices> ui;
  std::shared_ptr<platform::Clock> clock;
};

// The reply of one FetchEvents request: the record count as the driver said
// it, and the payload bytes the driver returned, from the count field on
// (bytes within them that the driver did not write read 0xFF, the fill).
struct EventBatch {
  std::uint32_t reportedCount = 0;
  std::vector<std::uint8_t> payload;
};

struct FileVersionTexts {
  std::wstring version = kUnknown;
  std::wstring date = kUnknown;
};

class CControllerIo {
 public:
  explicit CControllerIo(ControllerServices services);
  ~CControllerIo();
  CControllerIo(const CControllerIo&) = delete;
  CControllerIo& operator=(const CControllerIo&) = delete;

  void SetObserver(ModelObserver* observer);

  // Holds the model lock. Every operation below takes it itself; a reader takes
  // it while it copies what it shows. Message boxes and observer calls that
  // arise while it is held are delivered when the outermost lock is released,
  // so no thread waits for the user while holding the model.
  class Lock {
   public:
    explicit Lock(CControllerIo& io);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    CControllerIo& io_;
  };
  // The model; read or write it only while holding a Lock.
  ConfigurationModel& Model() { return model_; }
  const ConfigurationModel& Model() const { return model_; }

  // Set at start and cleared for good by the first successful RAID layer
  // version query of any adapter: event texts then name devices, not members.
  bool MemberNumbering() const { return memberNumbering_.load(); }

  // Computer and program information.
  void ReadComputerInfo();
  void ReadProgramInfo(const std::wstring& executablePath);

  // Discovery and refresh.
  bool Discover();
  void RefreshAdapter(AdapterRecord& adapter);

  // Driver requests; true on success.
  bool QueryDriverVersion(AdapterRecord& adapter);
  bool QueryAdapterInfo(AdapterRecord& adapter);
  bool QueryChannelInfo(AdapterRecord& adapter);
  bool QueryDeviceInfo(AdapterRecord& adapter);
  bool FetchEvents(AdapterRecord& adapter, EventBatch& batch);
  bool SetDeviceFeatures(AdapterRecord& adapter, bool writeCacheOn, const DeviceRecord& device,
                         std::uint8_t channel, std::uint8_t deviceNumber);
  bool SetGpioInterface(AdapterRecord& adapter, std::uint8_t first, std::uint8_t second);
  bool WriteGpioStatus(AdapterRecord& adapter, bool write, std::uint8_t status);
  bool QueryRioVersion(AdapterRecord& adapter);
  bool QuerySpareDrives(AdapterRecord& adapter);
  bool QuerySets(AdapterRecord& adapter, bool full);
  bool IdentifySetDisk(AdapterRecord& adapter, std::uint8_t driveNumber, IdentifyBytes& identify);
  bool QueryDeviceSmartStatus(AdapterRecord& adapter, std::uint8_t driveNumber,
                              DeviceRecord& device);
  bool QuerySetSmartStatus(AdapterRecord& adapter, SetRecord& set);

  // RAID commands.
  bool DeleteSet(AdapterRecord& adapter, std::uint8_t setIndex);
  bool CreateSpare(AdapterRecord& adapter, std::uint8_t deviceIndex);
  bool DeleteSpare(AdapterRecord& adapter, std::uint8_t deviceIndex);
  bool AddMember(AdapterRecord& adapter, std::uint8_t setIndex, std::uint8_t deviceIndex);
  bool RemoveMember(AdapterRecord& adapter, std::uint8_t setIndex, std::uint8_t position);
  bool EnableSpare(AdapterRecord& adapter, std::uint8_t setIndex, bool useSpare);
  bool SetRebuildRate(AdapterRecord& adapter, std::uint8_t setIndex, std::uint8_t rate);
  bool ResetChannel(AdapterRecord& adapter, std::uint8_t channel);

  // Operations: the request sequences the windows, the wizard and the logger
  // ask for by name. Each takes the model lock, finds the adapter by its number
  // (nothing is sent when it is gone) and keeps its own records current; a
  // refusal is shown by the request layer once the outermost lock is let go.

  // Adapter and device information and, on a RAID chip, the spare list and the
  // sets with their members: what a changed adapter branch shows.
  bool RereadAdapter(std::uint32_t adapterNumber);
  // The adapter's sets; `full` also reads each set's members and identify data.
  bool RereadSets(std::uint32_t adapterNumber, bool full);
  // The spare list of one RAID adapter, or of every RAID adapter.
  bool RereadSpares(std::uint32_t adapterNumber);
  void RereadAllSpares();
  // Every RAID adapter's sets (without members' identify data) and then its
  // spare list, and with `smart` every present disk's SMART status where SMART
  // is enabled ("UNKNOWN" when its query fails). An adapter whose set query
  // fails is not asked for its spares, so that a driver that has gone brings
  // one message, not two.
  void RereadStatusOfAll(bool smart);
  // Driver version, adapter information and the driver file's version.
  bool RereadAdapterAndDriver(std::uint32_t adapterNumber);
  // Removes the member at `position` of a set that still exists, then reads
  // the sets again in full (also after a refusal).
  bool RemoveSetMember(std::uint32_t adapterNumber, std::uint32_t setIndex, std::uint8_t position);
  // The set's spare use and rebuild rate, kept in its record once applied.
  bool ChangeSpareUse(std::uint32_t adapterNumber, std::uint32_t setIndex, bool useSpare);
  bool ChangeRebuildRate(std::uint32_t adapterNumber, std::uint32_t setIndex, std::uint8_t rate);
  // The device's write cache, kept in its record once the device has it.
  bool ChangeWriteCache(std::uint32_t adapterNumber, std::uint32_t channel, std::uint32_t device,
                        bool on);
  // Enables or disables the system's disk device of (adapter, channel, device)
  // and marks the device record free or in use to match; false (the record
  // untouched) when there is no such disk device or the change fails.
  bool ChangeDiskDeviceState(std::uint32_t adapterNumber, std::uint32_t channel,
                             std::uint32_t device, bool enable);
  // The LED byte: read back (the answer is not used), or changed by `change`
  // from the recorded byte and written (also when it stays the same).
  void ReadGpioStatus(std::uint32_t adapterNumber);
  void ChangeGpioStatus(std::uint32_t adapterNumber,
                        const std::function<std::uint8_t(std::uint8_t)>& change);

  // Makes the device at `deviceIndex` a spare drive after removing its system
  // disk device at (channel, device).
  bool MakeSpare(std::uint32_t adapterNumber, std::uint32_t channel, std::uint32_t device,
                 std::uint8_t deviceIndex);
  // Whether an adapter record is still the one a choice was made from.
  using AdapterCheck = std::function<bool(const AdapterRecord&)>;
  // Deletes a spare drive and re-enumerates the adapter; nothing when the
  // adapter is gone or fails `check`.
  bool DeleteSpareDrive(std::uint32_t adapterNumber, std::uint8_t deviceIndex,
                        const AdapterCheck& check);
  // Removes the set's system disk device at (channel, device), then deletes
  // the set (which re-enumerates the adapter).
  bool DeleteSetAndDisk(std::uint32_t adapterNumber, std::uint8_t setIndex, std::uint32_t channel,
                        std::uint32_t device, const AdapterCheck& check);
  // Leaves only the computer entry after the adapters' configuration changed:
  // the event logger discovers the adapters again in its next cycle.
  void ForgetAdaptersUntilRediscovery();
  // This build's own version record.
  void SetProgramInfo(const ProgramInfo& program);

  // Plug and Play and driver files.
  bool IsDiskAvailable(std::uint32_t adapterNumber, std::uint32_t channel, std::uint32_t device);
  bool RemoveDiskDevice(std::uint32_t adapterNumber, std::uint32_t channel, std::uint32_t device);
  bool ReenumerateAdapter(std::uint32_t adapterNumber);
  // The operating system's disk device of (adapter, channel, device), found as
  // IsDiskAvailable finds it: whether it is enabled (its problem number is not
  // 22); nothing when no disk device matches or the list cannot be read.
  std::optional<bool> DiskDeviceEnabled(std::uint32_t adapterNumber, std::uint32_t channel,
                                        std::uint32_t device);
  // Enables or disables that disk device through its class installer; false
  // when no disk device matches (nothing else is touched) or the change fails.
  bool SetDiskDeviceEnabled(std::uint32_t adapterNumber, std::uint32_t channel,
                            std::uint32_t device, bool enable);
  std::wstring ProblemDeviceKeyPath(const AdapterRecord& adapter) const;
  FileVersionTexts ReadFileVersion(const std::wstring& path, const std::wstring& translation);
  void ReadDriverFiles();
  // The adapter driver's file version and date into the adapter's record (the
  // adapter-driver step of ReadDriverFiles, for one adapter).
  void ReadAdapterDriverFile(AdapterRecord& adapter);

  // Shows the driver error box for a failed request with a caption.
  void ShowDriverError(std::uint32_t returnCode, const std::wstring& caption);
  static std::wstring DriverStatusText(std::uint32_t returnCode);

 private:
  friend class Lock;
  struct Pending;

  // Sends one request on the adapter's port. Success needs the call to succeed
  // and the return code to be one of `accepted`; a failure with a caption shows
  // the driver error box.
  bool Send(AdapterRecord& adapter, wire::Request& request,
            std::initializer_list<std::uint32_t> accepted, unsigned captionId,
            platform::ControlResult* callResult = nullptr);
  // A RAID command of one or two payload bytes, with its caption.
  bool Command(AdapterRecord& adapter, std::uint32_t code, std::uint32_t length,
               std::initializer_list<std::uint8_t> bytes, unsigned captionId);
  // Queued message box and observer calls, delivered when the lock is released.
  void PostMessage(std::wstring text, std::wstring caption, platform::MsgIcon icon);
  void PostSetHealth(bool allCurrent);
  void PostAdaptersReleased();
  void PostDeviceInfoError(std::uint32_t lastError);
  std::wstring ProgramCaption() const;

  std::wstring AdapterKey(std::uint32_t adapterNumber) const;
  // The first present DiskDrive device whose object name carries the adapter
  // and target keys.
  std::optional<platform::DevInst> FindDiskDevice(std::uint32_t adapterNumber,
                                                  std::uint32_t channel, std::uint32_t device);
  std::uint8_t ComposeGpioStatus(const AdapterRecord& adapter) const;
  // Adapter and device information, then on a RAID chip [the RAID layer
  // version,] the spare list and the full sets: the one re-read sequence.
  void ReadAdapterState(AdapterRecord& adapter, bool withRioVersion);
  // The device record at (channel, device) within the adapter's slots.
  static DeviceRecord* DeviceOf(AdapterRecord& adapter, std::uint32_t channel,
                                std::uint32_t device);
  // Empties the adapter list down to the computer entry, closing port handles.
  void ReleaseAdapters();
  // The system folder, derived from the media path.
  std::wstring SystemFolder() const;

  ControllerServices services_;
  ConfigurationModel model_;
  std::atomic<bool> memberNumbering_{true};
  ModelObserver* observer_ = nullptr;
  std::recursive_mutex mutex_;
  int lockDepth_ = 0;
  std::unique_ptr<Pending> pending_;
};

}  // namespace kestrune::ctl
