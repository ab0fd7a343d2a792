// The RAID wizard: every page, over an example machine of two adapters (the
// first with a mirrored and a striped set, a spare drive and free disks).
// Nothing is sent: the walk stops before the summary's Next and the deletion
// page's Finish.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <string>

#include "controller/controller_io.h"
#include "machine/machine.h"
#include "platform/recording_sound.h"
#include "platform/recording_ui.h"
#include "platform_qt/command_table.h"
#include "platform_qt/resources_qt.h"
#include "resources/resource_ids.h"
#include "shots.h"
#include "support/scenarios.h"
#include "wizard/wizard_raid.h"

namespace kestrune::shots {
namespace {

sim::DiskSpec Disk(std::uint8_t channel, std::uint8_t device, std::string model) {
  sim::DiskSpec disk;
  disk.channel = channel;
  disk.device = device;
  disk.model = std::move(model);
  disk.serial = "SN" + std::to_string(channel) + std::to_string(device);
  disk.sectors = 488397168;
  return disk;
}

sim::Scenario ExampleMachine() {
  sim::AdapterSpec a = test::ExtendedRaidAdapter(2);
  const char* models[] = {"NORRIK NS250", "NORRIK NS250", "HALDEN HD-500 PRO", "HALDEN HD-500 PRO",
                          "NORRIK NS250", "NORRIK NS250", "KESTREL KD320"};
  const std::uint8_t places[][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {3, 0}, {3, 1}};
  for (std::size_t i = 0; i < std::size(places); ++i)
    a.disks.push_back(Disk(places[i][0], places[i][1], models[i]));
  sim::SetSpec mirrored;
  mirrored.name = "BV MIRRORED SET";
  mirrored.members = {{0, 0}, {1, 1}};
  sim::SetSpec striped;
  striped.type = sim::SetType::Striped;
  striped.name = "BV STRIPED SET";
  striped.members = {{2, 0}, {3, 1}};
  a.sets = {mirrored, striped};
  a.spares = {4};
  sim::AdapterSpec second = a;
  second.pciDevice = a.pciDevice + 1;
  second.disks = {Disk(0, 0, "NORRIK NS250")};
  second.sets.clear();
  second.spares.clear();
  sim::Scenario scenario;
  scenario.adapters = {a, second};
  return scenario;
}

void ClickRow(QTreeWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->topLevelItem(row)).center());
  QApplication::processEvents();
}

bool ShootWizardPages(const QString& folder) {
  machine::MachineOptions options;
  options.scenario = ExampleMachine();
  options.registryPath = ":memory:";
  options.sound = std::make_shared<platform::RecordingSound>();
  std::string error;
  const machine::Machine machine = machine::MakeMachine(options, error);
  if (!machine) return false;
  auto ui = std::make_shared<platform::RecordingUi>();
  ctl::CControllerIo io(machine.ControllerServices(ui));
  io.ReadComputerInfo();
  io.Discover();

  wizard::CWizardRaid w({&io, ui.get(), {}}, platform_qt::LoadBitmap(res::kBitmapWatermark),
                        platform_qt::LoadBitmap(res::kBitmapHeader));
  w.show();
  bool written = true;
  const auto shoot = [&](const char* name) {
    QApplication::processEvents();
    written = w.grab().save(QDir(folder).filePath(QString::fromLatin1(name) + ".png")) && written;
  };
  const auto next = [&] {
    w.button(QWizard::NextButton)->click();
    QApplication::processEvents();
  };
  const auto back = [&] {
    w.button(QWizard::BackButton)->click();
    QApplication::processEvents();
  };
  const auto list = [&](unsigned id) {
    return platform_qt::FindById<QTreeWidget>(w.currentPage(), id);
  };

  shoot("1-welcome");
  next();
  shoot("2-controller");
  next();
  shoot("3-action");
  next();
  shoot("5-set-type");
  next();
  if (QTreeWidget* available = list(1191)) {
    ClickRow(available, 0);
    w.currentPage()->findChild<QAbstractButton*>(QStringLiteral("selectButton"))->click();
    QApplication::processEvents();
  }
  shoot("6-spare-disks");
  next();
  shoot("7-spare-summary");
  back();
  back();
  back();
  platform_qt::FindById<QRadioButton>(w.currentPage(), 1150)->setChecked(true);
  next();
  if (QTreeWidget* entries = list(1152)) ClickRow(entries, 1);  // the striped set
  shoot("4-delete");
  // The finish page as the summary's Next leads to it, without sending.
  w.setStartId(static_cast<int>(wizard::WizardPage::kFinish));
  w.restart();
  shoot("8-finish");
  w.hide();
  return written;
}

const FamilyEntry kWizard(QStringLiteral("wizard"), ShootWizardPages);

}  // namespace
}  // namespace kestrune::shots
