// The build tool that collects the forms' texts for the English module.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "resources/language_module.h"

namespace kestrune::res {
namespace {

#ifdef KESTRUNE_DIALOGTEXTS

namespace fs = std::filesystem;

class DialogTexts : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrune-forms-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Form(const std::string& name, const std::string& root, const std::string& body,
                const std::string& rootName = "C") {
    const fs::path path = dir_ / name;
    std::ofstream(path) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\">\n"
                        << "<class>" << rootName << "</class>\n<widget class=\"QDialog\" name=\""
                        << rootName << "\">\n"
                        << root << body << "</widget>\n<resources/>\n</ui>\n";
    return path;
  }
  // The tool's exit status; `lines` gets what it wrote.
  int Run(const std::vector<fs::path>& forms, std::string& lines, const std::string& option = "") {
    const fs::path out = dir_ / "out.lang";
    std::string command = std::string(KESTRUNE_DIALOGTEXTS) + " " + out.string() + " " + option;
    for (const fs::path& form : forms) command += " " + form.string();
    command += " 2>" + (dir_ / "err.txt").string();
    const int status = std::system(command.c_str());
    std::ifstream in(out, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    lines = text.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  fs::path dir_;
};

const char kTemplate[] =
    "<property name=\"templateId\" stdset=\"0\"><number>1020</number></property>\n";

TEST_F(DialogTexts, TextsOfRootControlsAndItemsButNotNotrOrOtherProperties) {
  const fs::path form = Form("page.ui",
                             "<property name=\"windowTitle\"><string>Notification</string>"
                             "</property>\n" +
                                 std::string(kTemplate),
                             R"(<layout class="QVBoxLayout" name="layout"><item>
  <widget class="QGroupBox" name="levelGroup">
   <property name="title"><string>Level &amp; "quotes"</string></property>
   <property name="styleSheet"><string>color: red</string></property>
   <layout class="QHBoxLayout" name="inner"><item>
    <widget class="QComboBox" name="levelBox">
     <item><property name="text"><string>Off</string></property></item>
     <item><property name="text"><string notr="true">1</string></property></item>
     <item><property name="text"><string>Line 1
Line 2\</string></property></item>
    </widget></item>
    <item><widget class="QLabel" name="valueLabel">
     <property name="text"><string notr="true">filled in code</string></property>
     <property name="toolTip"><string>Tab	here</string></property>
    </widget></item>
   </layout>
  </widget></item>
</layout>
)");
  std::string lines;
  ASSERT_EQ(Run({form}, lines), 0);
  EXPECT_EQ(lines,
            "1020.windowTitle\tNotification\n"
            "1020.levelGroup.title\tLevel & \"quotes\"\n"
            "1020.levelBox.item0\tOff\n"
            "1020.levelBox.item2\tLine 1\\nLine 2\\\\\n"
            "1020.valueLabel.toolTip\tTab\\there\n");
  const LanguageModule module = ParseLanguageModule(lines);
  EXPECT_EQ(module.skippedLines, 0u);
  EXPECT_EQ(module.dialogs.at(1020).at(3).text, L"Line 1\nLine 2\\");
}

TEST_F(DialogTexts, FormsTheLanguageModulesCannotReachAreRefused) {
  struct Case {
    const char* name;
    std::string root;
    std::string body;
  };
  const Case cases[] = {
      {"no template number", "", ""},
      {"tab title", kTemplate,
       R"(<widget class="QTabWidget" name="tabs"><widget class="QWidget" name="tab">
          <attribute name="title"><string>Tab</string></attribute></widget></widget>)"},
      {"tree header", kTemplate,
       R"(<widget class="QTreeWidget" name="tree"><column>
          <property name="text"><string>Name</string></property></column></widget>)"},
      {"name used twice", kTemplate,
       R"(<widget class="QLabel" name="a"/><widget class="QLabel" name="a"/>)"},
      {"not XML", kTemplate, "<widget"},
  };
  for (const Case& c : cases) {
    std::string lines;
    EXPECT_EQ(Run({Form("bad.ui", c.root, c.body)}, lines), 1) << c.name;
  }
  // The same template in two forms.
  std::string lines;
  EXPECT_EQ(Run({Form("one.ui", kTemplate, ""), Form("two.ui", kTemplate, "")}, lines), 1);
}

std::string Template(int id) {
  return "<property name=\"templateId\" stdset=\"0\"><number>" + std::to_string(id) +
         "</number></property>\n";
}

TEST_F(DialogTexts, TemplateNumbersAreWrittenUnderTheFormsRootNames) {
  const fs::path header = dir_ / "templates.h";
  std::string lines;
  ASSERT_EQ(Run({Form("events.ui", Template(1016), "", "CPropPageEvents"),
                 Form("menu.ui", Template(1017), "", "ConfigurationMenu"),
                 Form("c.ui", Template(7), "", "C")},
                lines, "--templates=" + header.string()),
            0);
  std::ifstream in(header);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string written = text.str();
  EXPECT_NE(written.find("inline constexpr unsigned kTemplatePropPageEvents = 1016;\n"),
            std::string::npos);
  EXPECT_NE(written.find("inline constexpr unsigned kTemplateConfigurationMenu = 1017;\n"),
            std::string::npos);
  EXPECT_NE(written.find("inline constexpr unsigned kTemplateC = 7;\n"), std::string::npos);
  // Two forms whose roots share a name would give one constant two numbers;
  // a root name that is no identifier gives none.
  EXPECT_EQ(Run({Form("a.ui", Template(1), "", "CPage"), Form("b.ui", Template(2), "", "CPage")},
                lines, "--templates=" + header.string()),
            1);
  EXPECT_EQ(Run({Form("d.ui", Template(3), "", "C-Page")}, lines,
                "--templates=" + header.string()),
            1);
}

#endif

}  // namespace
}  // namespace kestrune::res
