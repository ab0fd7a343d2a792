// The RAID wizard over the simulator: a controller on a test machine whose
// device control and device manager write what the wizard sends into one
// ordered log, boxes answered by RecordingUi, and helpers that click as a user
// does.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controller/controller_io.h"
#include "controller/wire.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "platform/text.h"
#include "platform_qt/command_table.h"
#include "platform_qt/resources_qt.h"
#include "simulator/scenario.h"
#include "support/scenarios.h"
#include "support/spin.h"
#include "support/test_machine.h"
#include "wizard/wizard_raid.h"

namespace kestrune::test {

// What reached the system, in order: "remove <object name>", "reenumerate",
// "CreateSpare <index>", "DeleteSpare <index>", "DeleteSet <index>".
class StepLog {
 public:
  void Add(std::string entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  // Entries starting with `prefix`.
  std::size_t Count(const std::string& prefix) {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        entries_.begin(), entries_.end(), [&](const auto& e) { return e.rfind(prefix, 0) == 0; }));
  }
  // Anything the wizard may change the system with.
  std::size_t Changes() {
    return Count("remove") + Count("reenumerate") + Count("CreateSpare") + Count("DeleteSpare") +
           Count("DeleteSet");
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

class LoggedInstaller final : public platform::DeviceInstaller {
 public:
  LoggedInstaller(std::shared_ptr<platform::DeviceInstaller> inner, std::shared_ptr<StepLog> log)
      : inner_(std::move(inner)), log_(std::move(log)) {}
  std::optional<std::wstring> ClassGuidFromName(const std::wstring& name) override {
    return inner_->ClassGuidFromName(name);
  }
  std::optional<std::vector<platform::DevInst>> PresentDevices(const std::wstring& guid) override {
    return inner_->PresentDevices(guid);
  }
  std::optional<std::wstring> Property(platform::DevInst d, platform::DeviceProperty p) override {
    return inner_->Property(d, p);
  }
  std::optional<std::wstring> InstanceId(platform::DevInst d) override {
    return inner_->InstanceId(d);
  }
  std::optional<platform::DeviceNodeStatus> Status(platform::DevInst d) override {
    return inner_->Status(d);
  }
  bool Remove(platform::DevInst d) override {
    const auto name = inner_->Property(d, platform::DeviceProperty::PhysicalDeviceObjectName);
    log_->Add("remove " + platform::ToUtf8(platform::ToLowerAscii(name.value_or(L""))));
    return inner_->Remove(d);
  }
  bool Reenumerate(platform::DevInst d) override {
    log_->Add("reenumerate");
    return inner_->Reenumerate(d);
  }
  std::optional<platform::DevInst> FirstChild(platform::DevInst d) override {
    return inner_->FirstChild(d);
  }
  std::optional<platform::DevInst> NextSibling(platform::DevInst d) override {
    return inner_->NextSibling(d);
  }

 private:
  std::shared_ptr<platform::DeviceInstaller> inner_;
  std::shared_ptr<StepLog> log_;
};

class LoggedControl final : public platform::DeviceControl {
 public:
  LoggedControl(std::shared_ptr<platform::DeviceControl> inner, std::shared_ptr<StepLog> log)
      : inner_(std::move(inner)), log_(std::move(log)) {}
  platform::DeviceHandle Open(const std::wstring& name, std::uint32_t* error) override {
    return inner_->Open(name, error);
  }
  platform::ControlResult Control(platform::DeviceHandle h, std::uint32_t code,
                                  std::span<std::uint8_t> buffer, std::size_t in,
                                  std::size_t out) override {
    constexpr std::size_t kHeader = 28;  // SRB_IO_CONTROL
    const bool rio = buffer.size() > kHeader &&
                     std::string(buffer.begin() + 4, buffer.begin() + 12) == "QMX_RIO ";
    if (code == platform::kIoctlScsiMiniport && in > kHeader && rio) {
      const std::uint32_t request = static_cast<std::uint32_t>(buffer[16] | buffer[17] << 8 |
                                                               buffer[18] << 16 | buffer[19] << 24);
      const char* name = request == ctl::wire::code::kCreateSpare   ? "CreateSpare"
                         : request == ctl::wire::code::kDeleteSpare ? "DeleteSpare"
                         : request == ctl::wire::code::kDeleteSet   ? "DeleteSet"
                                                                    : nullptr;
      if (name != nullptr) log_->Add(std::string(name) + " " + std::to_string(buffer[kHeader]));
    }
    return inner_->Control(h, code, buffer, in, out);
  }
  void Close(platform::DeviceHandle h) override { inner_->Close(h); }

 private:
  std::shared_ptr<platform::DeviceControl> inner_;
  std::shared_ptr<StepLog> log_;
};

// A disk of the scenarios below.
inline sim::DiskSpec Disk(std::uint8_t channel, std::uint8_t device,
                          std::string model = "NORRIK NS250", std::uint64_t sectors = 488397168) {
  sim::DiskSpec disk;
  disk.channel = channel;
  disk.device = device;
  disk.model = std::move(model);
  disk.serial = "SN" + std::to_string(channel) + std::to_string(device);
  disk.sectors = sectors;
  return disk;
}

// An older adapter with two channels of two devices (chip 0x7210 or 0x7250).
inline sim::AdapterSpec TwoPortAdapter(std::uint32_t chipId, std::uint32_t pciDevice) {
  sim::AdapterSpec a;
  a.driverMajor = 1;
  a.driverMinor = 3;
  a.chipId = chipId;
  a.chipType = 2;
  a.pciDevice = pciDevice;
  a.channels = 2;
  a.devicesPerChannel = 2;
  return a;
}

inline sim::Scenario ScenarioOf(std::vector<sim::AdapterSpec> adapters) {
  sim::Scenario scenario;
  scenario.adapters = std::move(adapters);
  return scenario;
}

struct WizardRig {
  std::shared_ptr<platform::Clock> clock;
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  std::shared_ptr<StepLog> log = std::make_shared<StepLog>();
  machine::Machine machine;
  std::unique_ptr<ctl::CControllerIo> io;
  int treeRemovals = 0;
  std::unique_ptr<wizard::CWizardRaid> wizard;

  explicit WizardRig(sim::Scenario scenario,
                     std::shared_ptr<platform::Clock> machineClock = nullptr)
      : clock(machineClock ? std::move(machineClock) : std::make_shared<platform::ManualClock>()) {
    machine = MakeTestMachine(TestMachineOptions(std::move(scenario), clock));
    ctl::ControllerServices services = machine.ControllerServices(ui);
    services.deviceInstaller = std::make_shared<LoggedInstaller>(services.deviceInstaller, log);
    services.deviceControl = std::make_shared<LoggedControl>(services.deviceControl, log);
    io = std::make_unique<ctl::CControllerIo>(services);
    io->ReadComputerInfo();
    io->Discover();
  }
  ~WizardRig() { wizard.reset(); }

  wizard::CWizardRaid& Open() {
    wizard = std::make_unique<wizard::CWizardRaid>(
        wizard::WizardServices{io.get(), ui.get(), [this] { ++treeRemovals; }},
        platform_qt::LoadBitmap(res::kBitmapWatermark),
        platform_qt::LoadBitmap(res::kBitmapHeader));
    wizard->show();
    return *wizard;
  }

  wizard::WizardPage Page() const { return wizard->CurrentPage(); }
  wizard::WizardState& State() { return wizard->State(); }
  QAbstractButton* Button(QWizard::WizardButton which) { return wizard->button(which); }
  bool Enabled(QWizard::WizardButton which) {
    return Button(which)->isVisible() && Button(which)->isEnabled();
  }
  // A click as the user gives it: nothing happens on a disabled button.
  void Press(QWizard::WizardButton which) {
    Button(which)->click();
    QApplication::processEvents();
  }
  void Next() { Press(QWizard::NextButton); }
  void Back() { Press(QWizard::BackButton); }
  // Finish, and whatever long step it starts, to its end.
  void Finish() {
    Press(QWizard::FinishButton);
    EXPECT_TRUE(SpinUntil([this] { return !wizard->Busy(); }));
  }

  template <typename T>
  T* Control(unsigned id) {
    return platform_qt::FindById<T>(wizard->currentPage(), id);
  }
  QTreeWidget* List(unsigned id) { return Control<QTreeWidget>(id); }

  // A mouse click on a row of a list, or below its rows.
  static void ClickRow(QTreeWidget* list, int row) {
    const QRect rect = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QApplication::processEvents();
  }
  static void ClickEmpty(QTreeWidget* list) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(list->viewport()->width() / 2, list->viewport()->height() - 2));
    QApplication::processEvents();
  }
  // The texts of a column, without the blanks that pad the drives' model texts.
  static std::vector<std::wstring> Column(QTreeWidget* list, int column) {
    std::vector<std::wstring> texts;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
      texts.push_back(list->topLevelItem(r)->text(column).trimmed().toStdWString());
    return texts;
  }

  std::uint32_t EntryCount() {
    ctl::CControllerIo::Lock lock(*io);
    return io->Model().entryCount;
  }
};

}  // namespace kestrune::test
