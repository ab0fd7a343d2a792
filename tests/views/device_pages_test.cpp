// The device pages: the registry values behind "Mode After Reboot" and the
// write cache, byte for byte; which controls may be used; the IDENTIFY dump.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "simulator/driver.h"
#include "simulator/simulator.h"
#include "view_rig.h"
#include "views/device_options.h"

namespace kestrune::test {
namespace {

using views::NodeRef;
using Text = std::optional<std::u16string>;

constexpr int kDeviceTab = 0;
constexpr int kSmartTab = 1;
constexpr int kIdentifyTab = 2;

struct DeviceRig {
  ViewRig rig;
  NodeRef node;
  std::wstring name;
  platform::RegKey optionsKey = platform::kNullKey;
  platform::RegKey defaultKey = platform::kNullKey;
  views::CConfigTreeDlg* window = nullptr;

  explicit DeviceRig(NodeRef device, sim::Scenario scenario = QuietScenario())
      : rig(std::move(scenario)), node(device) {
    ctl::CControllerIo::Lock lock(*rig.io);
    const views::ResolvedNode found = views::Resolve(rig.io->Model(), node);
    name = views::DeviceValueName(*found.device);
    optionsKey = found.adapter->problemDeviceKey;
    defaultKey = found.adapter->devicesDefModeKey;
  }
  platform::Registry& Store() { return *rig.machine.Registry(); }
  void Put(platform::RegKey key, const Text& text) {
    if (text) {
      ASSERT_TRUE(views::WriteDeviceText(Store(), key, name, *text));
    }
  }
  Text Get(platform::RegKey key) { return views::ReadDeviceText(Store(), key, name); }
  QWidget* Show(int tab) {
    if (window == nullptr) window = &rig.Open();
    EXPECT_TRUE(window->SelectNode(node));
    window->Sheet()->SetActivePage(tab);
    return window->Sheet()->ActivePage();
  }
  template <typename T>
  T* Control(unsigned id) {
    return platform_qt::FindById<T>(window->Sheet()->ActivePage(), id);
  }
  void Choose(const QString& mode) {
    auto* list = Control<QComboBox>(1427);
    const int index = list->findText(mode);
    ASSERT_GE(index, 0) << mode.toStdString();
    list->setCurrentIndex(index);
    emit list->activated(index);
  }
};

std::string Show(const Text& text) {
  if (!text) return "<none>";
  std::string out;
  for (char16_t unit : *text)
    out += unit < 0x80 ? std::string(1, static_cast<char>(unit)) : "\\u" + std::to_string(unit);
  return out;
}

TEST(DevicePage, ShowsTheRecordUnderItsTypesTitle) {
  DeviceRig dev(NodeRef::Device(1, 1, 0));  // the CD-ROM
  QWidget* page = dev.Show(kDeviceTab);
  EXPECT_EQ(platform_qt::FindById<QGroupBox>(page, 1344)->title(), QStringLiteral("CD-ROM Information"));
  EXPECT_EQ(platform_qt::FindById<QLabel>(page, 1341)->text().trimmed(), QStringLiteral("ORVANE CDR-5200"));
  EXPECT_EQ(platform_qt::FindById<QLabel>(page, 1343)->text().trimmed(), QStringLiteral("OV52C0410377"));
}

TEST(DeviceSmartPage, ModeApplyWritesTheOptionsAndTheDefaultOnlyWhereDue) {
  struct Case {
    const char* name;
    Text options, defaultMode;
    const char* chosen;
    Text expectedOptions, expectedDefault;
  };
  const Case cases[] = {
      {"no value yet", {}, {}, "UDMA 3", u"MaxMode = UDMA-3", u"UDMA-6"},
      {"mode changed, cache kept", u"EnableWriteCache;MaxMode = UDMA-2", {}, "UDMA 4",
       u"EnableWriteCache;MaxMode = UDMA-4", u"UDMA-2"},
      {"options without a mode", u"EnableWriteCache", {}, "UDMA 4",
       u"EnableWriteCache;MaxMode = UDMA-4", {}},
      {"default from the stored one", u"DisableWriteCache", u"UDMA-5", "Default",
       u"DisableWriteCache;MaxMode = UDMA-5", u"UDMA-5"},
      {"default replaces a mode, one separator", u"DisableWriteCache;MaxMode = UDMA-2", u"UDMA-5",
       "Default", u"DisableWriteCache;MaxMode = UDMA-5", u"UDMA-5"},
      {"default without a stored one", u"DisableWriteCache", {}, "Default", u"DisableWriteCache",
       {}},
      {"nothing at all", {}, {}, "Default", {}, {}},
      {"unknown options kept", u"X=1;MaxMode = UDMA-2;Y", u"UDMA-2", "UDMA 3",
       u"X=1;Y;MaxMode = UDMA-3", u"UDMA-2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig dev(NodeRef::Device(0, 3, 0));
    dev.Put(dev.optionsKey, c.options);
    dev.Put(dev.defaultKey, c.defaultMode);
    dev.Show(kSmartTab);
    dev.Choose(QString::fromLatin1(c.chosen));
    dev.Control<QPushButton>(1428)->click();
    EXPECT_EQ(Show(dev.Get(dev.optionsKey)), Show(c.expectedOptions));
    EXPECT_EQ(Show(dev.Get(dev.defaultKey)), Show(c.expectedDefault));
    ASSERT_EQ(dev.rig.ui->MessageCount(), 1u);
    EXPECT_EQ(dev.rig.ui->LastMessage()->text, L"Reboot required for change to take effect.");
    EXPECT_FALSE(dev.Control<QPushButton>(1428)->isEnabled());
  }
}

TEST(DeviceSmartPage, TheModeListItsSelectionAndWhenApplyIsOffered) {
  DeviceRig dev(NodeRef::Device(0, 3, 0));
  dev.Put(dev.optionsKey, u"MaxMode = udma-3");
  dev.Show(kSmartTab);
  auto* list = dev.Control<QComboBox>(1427);
  EXPECT_EQ(list->itemText(0), QStringLiteral("Default"));
  EXPECT_EQ(list->itemText(1), QStringLiteral("UDMA 6"));
  // The supported-modes text ends in "PIO 0" without a comma: no entry.
  EXPECT_NE(list->itemText(list->count() - 1), QStringLiteral("PIO 0"));
  EXPECT_EQ(list->currentText(), QStringLiteral("UDMA 3"));
  // Activation wrote the stored mode as the default, which was missing.
  EXPECT_EQ(Show(dev.Get(dev.defaultKey)), "udma-3");
  auto* apply = dev.Control<QPushButton>(1428);
  EXPECT_FALSE(apply->isEnabled());
  dev.Choose(QStringLiteral("UDMA 5"));  // the current mode
  EXPECT_FALSE(apply->isEnabled());
  dev.Choose(QStringLiteral("UDMA 4"));
  EXPECT_TRUE(apply->isEnabled());
  // Leaving the page empties the list.
  dev.window->Sheet()->SetActivePage(kDeviceTab);
  EXPECT_EQ(list->count(), 0);
}

TEST(DeviceSmartPage, UnknownAndOverlongOptionTextsAreKeptUnitForUnit) {
  // Longer than the 440-byte read, with an unpaired surrogate.
  std::u16string odd(300, u'Z');
  odd += u'\xD800';
  odd += u";MaxMode = UDMA-2";
  DeviceRig dev(NodeRef::Device(0, 3, 0));
  dev.Put(dev.optionsKey, odd);
  dev.Show(kSmartTab);
  EXPECT_EQ(dev.Control<QComboBox>(1427)->currentText(), QStringLiteral("UDMA 2"));
  dev.Choose(QStringLiteral("UDMA 4"));
  dev.Control<QPushButton>(1428)->click();
  std::u16string expected(300, u'Z');
  expected += u'\xD800';
  expected += u";MaxMode = UDMA-4";
  EXPECT_EQ(dev.Get(dev.optionsKey), Text(expected));
}

TEST(DeviceSmartPage, WriteCacheApplySetsTheDeviceThenTheOptions) {
  struct Case {
    const char* name;
    NodeRef device;
    Text options;
    bool on;
    Text expectedOptions, expectedDefault;
  };
  const Case cases[] = {
      {"off after a mode", NodeRef::Device(0, 0, 0), u"MaxMode = UDMA-2", false,
       u"MaxMode = UDMA-2;DisableWriteCache", u"UDMA-2"},
      {"off, no value yet", NodeRef::Device(0, 0, 0), {}, false, u"DisableWriteCache", u"UDMA-6"},
      {"on, the old switch replaced", NodeRef::Device(0, 3, 0),
       u"DisableWriteCache;MaxMode = UDMA-2", true, u"MaxMode = UDMA-2;EnableWriteCache",
       u"UDMA-2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig dev(c.device);
    dev.Put(dev.optionsKey, c.options);
    dev.Show(kSmartTab);
    auto* apply = dev.Control<QPushButton>(1377);
    EXPECT_FALSE(apply->isEnabled());
    dev.Control<QRadioButton>(c.on ? 1446 : 1449)->click();
    EXPECT_TRUE(apply->isEnabled());
    apply->click();
    EXPECT_EQ(Show(dev.Get(dev.optionsKey)), Show(c.expectedOptions));
    EXPECT_EQ(Show(dev.Get(dev.defaultKey)), Show(c.expectedDefault));
    // The page shows the device as it is now.
    EXPECT_EQ(dev.Control<QRadioButton>(1446)->isChecked(), c.on);
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(dev.rig.Sim().Driver()->CurrentAdapter(c.device.adapter)
                  .disks[c.device.channel == 0 ? 0 : 3]
                  .writeCacheEnabled,
              c.on);
  }
}

TEST(DeviceSmartPage, ARefusedWriteCacheRequestLeavesTheRegistryAlone) {
  DeviceRig dev(NodeRef::Device(0, 0, 0));
  dev.rig.Sim().Driver()->InjectFault({0, "SetDeviceFeatures", sim::FaultKind::Status, 255, -1});
  dev.Show(kSmartTab);
  dev.Control<QRadioButton>(1449)->click();
  dev.Control<QPushButton>(1377)->click();
  EXPECT_EQ(dev.Get(dev.optionsKey), std::nullopt);
  EXPECT_EQ(dev.Get(dev.defaultKey), std::nullopt);
  EXPECT_TRUE(dev.Control<QPushButton>(1377)->isEnabled());
}

TEST(DeviceSmartPage, WriteCacheButtonsOnlyForADiskWithTheFeature) {
  sim::Scenario scenario = QuietScenario();
  scenario.adapters[0].disks[3].writeCacheSupported = false;
  struct Case {
    const char* name;
    NodeRef device;
    bool enabled;
  };
  const Case cases[] = {{"disk", NodeRef::Device(0, 0, 0), true},
                        {"disk without write cache", NodeRef::Device(0, 3, 0), false},
                        {"CD-ROM", NodeRef::Device(1, 1, 0), false}};
  for (const Case& c : cases) {
    DeviceRig dev(c.device, scenario);
    dev.Show(kSmartTab);
    EXPECT_EQ(dev.Control<QRadioButton>(1446)->isEnabled(), c.enabled) << c.name;
    EXPECT_EQ(dev.Control<QRadioButton>(1449)->isEnabled(), c.enabled) << c.name;
  }
}

TEST(IdentifyPage, ThirtyTwoRowsOfEightWordsForDevicesAndSets) {
  const std::pair<NodeRef, int> cases[] = {{NodeRef::Device(0, 3, 0), kIdentifyTab},
                                           {NodeRef::Set(0, 0), 3}};
  for (const auto& [node, tab] : cases) {
    DeviceRig dev(NodeRef::Device(0, 3, 0));
    dev.node = node;
    dev.Show(0);
    dev.rig.Edit([&](ctl::ConfigurationModel& m) {
      const views::ResolvedNode found = views::Resolve(m, node);
      ctl::IdentifyBytes& data = found.set != nullptr ? found.set->identify : found.device->identify;
      data[0] = 0x5A;
      data[1] = 0x04;
      data[510] = 0xA5;
      data[511] = 0xBE;
    });
    dev.window->Sheet()->SetActivePage(tab);
    auto* list = dev.Control<QTreeWidget>(1350);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->columnCount(), 9);
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("Data"));
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("+0"));
    EXPECT_EQ(list->headerItem()->text(8), QStringLiteral("+7"));
    ASSERT_EQ(list->topLevelItemCount(), 32);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("0000"));
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("045a"));
    EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("0008"));
    EXPECT_EQ(list->topLevelItem(31)->text(0), QStringLiteral("0248"));
    EXPECT_EQ(list->topLevelItem(31)->text(8), QStringLiteral("bea5"));
    dev.window->Sheet()->SetActivePage(0);
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(list->columnCount(), 0);
  }
}

}  // namespace
}  // namespace kestrune::test
