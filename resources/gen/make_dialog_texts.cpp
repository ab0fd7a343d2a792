// Reads the dialog forms (.ui) and writes their translatable texts as the
// language-module lines "template.object.property<TAB>text", wrapped in a C++
// source that the resources library compiles (BuiltinDialogModuleText). The
// English module is written from it, so the forms and Res409.lang cannot
// drift apart.
//
// With --templates=<header>, it also writes each form's template number as a
// constant named after the form's root (CPropPageEvents: kTemplatePropPageEvents),
// so that code naming a template takes the number from the form, its one home.
//
// A form's root carries its template number as the dynamic property
// "templateId". A text counts when it is a <string> of one of the text
// properties below and not marked notr="true". Texts in places that a form's
// localisation cannot reach (tab titles, item-view headers) are refused, so
// that no visible text escapes the language modules.
#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const QStringList kTextProperties = {
    QStringLiteral("text"),
    QStringLiteral("title"),
    QStringLiteral("windowTitle"),
    QStringLiteral("toolTip"),
    QStringLiteral("statusTip"),
    QStringLiteral("whatsThis"),
    QStringLiteral("placeholderText"),
    QStringLiteral("accessibleName"),
    QStringLiteral("accessibleDescription"),
    QStringLiteral("plainText"),
};

struct Entry {
  QString key;  // without the template number
  QString text;
};

struct Form {
  QString file;
  QString root;  // the root widget's object name
  long long templateId = -1;
  std::vector<Entry> entries;
};

// The module's escapes, then UTF-8.
std::string EscapeModuleText(const QString& text) {
  QString escaped;
  for (QChar c : text) {
    if (c == QLatin1Char('\\')) {
      escaped += QStringLiteral("\\\\");
    } else if (c == QLatin1Char('\n')) {
      escaped += QStringLiteral("\\n");
    } else if (c == QLatin1Char('\t')) {
      escaped += QStringLiteral("\\t");
    } else if (c == QLatin1Char('\r')) {
      escaped += QStringLiteral("\\r");
    } else {
      escaped += c;
    }
  }
  return escaped.toStdString();
}

// A C++ string literal of the bytes, non-printable ones as octal escapes.
std::string CppLiteral(const std::string& bytes) {
  std::string out = "\"";
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F && c != '?') {
      out += static_cast<char>(c);
    } else {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    }
  }
  return out + "\"";
}

bool Fail(const QString& file, const QXmlStreamReader& xml, const QString& why) {
  std::fprintf(stderr, "%s:%lld: %s\n", qPrintable(file), static_cast<long long>(xml.lineNumber()),
               qPrintable(why));
  return false;
}

// One open element of the form.
struct Open {
  QString element;
  QString name;        // its name attribute
  QString className;   // widgets: their class
  int items = 0;       // widgets: <item> children met so far
  int itemIndex = -1;  // items: their position
};

// The widget or action an element at `at` belongs to: the nearest enclosing
// one; empty for the form's root.
QString OwnerObject(const std::vector<Open>& stack, std::size_t at) {
  for (std::size_t i = at + 1; i-- > 0;) {
    const Open& open = stack[i];
    if (open.element == QLatin1String("widget") || open.element == QLatin1String("action")) {
      return i == 1 && open.element == QLatin1String("widget") ? QString() : open.name;
    }
  }
  return {};
}

bool ReadForm(const QString& path, Form& form) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "%s: cannot read\n", qPrintable(path));
    return false;
  }
  form.file = path;
  QXmlStreamReader xml(&file);
  std::vector<Open> stack;  // stack[0] is <ui>, stack[1] the root widget
  QSet<QString> names;
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::EndElement) {
      if (!stack.empty()) stack.pop_back();
      continue;
    }
    if (token != QXmlStreamReader::StartElement) continue;
    Open open;
    open.element = xml.name().toString();
    open.name = xml.attributes().value(QStringLiteral("name")).toString();
    open.className = xml.attributes().value(QStringLiteral("class")).toString();
    if (open.element == QLatin1String("widget") && stack.size() == 1) form.root = open.name;
    if ((open.element == QLatin1String("widget") && stack.size() > 1) ||
        open.element == QLatin1String("action")) {
      if (names.contains(open.name)) {
        return Fail(path, xml, QStringLiteral("object name %1 used twice").arg(open.name));
      }
      names.insert(open.name);
    }
    if (open.element == QLatin1String("item") && !stack.empty() &&
        stack.back().element == QLatin1String("widget")) {
      open.itemIndex = stack.back().items++;
    }
    const std::size_t depth = stack.size();
    if (depth >= 2 && open.element == QLatin1String("number") &&
        stack[depth - 1].element == QLatin1String("property") &&
        stack[depth - 1].name == QLatin1String("templateId") && depth == 3) {
      bool ok = false;
      form.templateId = xml.readElementText().toLongLong(&ok);
      if (!ok || form.templateId < 0 || form.templateId > 0xFFFFFFFFll) {
        return Fail(path, xml, QStringLiteral("templateId is not a number"));
      }
      continue;  // readElementText consumed the end element
    }
    if (open.element != QLatin1String("string") || depth < 2) {
      stack.push_back(open);
      continue;
    }
    const bool notr = xml.attributes().value(QStringLiteral("notr")) == QLatin1String("true");
    const QString text = xml.readElementText();
    if (notr || text.isEmpty()) continue;
    const Open& holder = stack[depth - 1];  // <property> or <attribute>
    const Open& owner = stack[depth - 2];   // what the property belongs to
    const bool textProperty =
        holder.element == QLatin1String("property") && kTextProperties.contains(holder.name);
    if (holder.element == QLatin1String("attribute") || owner.element == QLatin1String("column") ||
        owner.element == QLatin1String("row") ||
        (owner.element == QLatin1String("item") && owner.itemIndex >= 0 && textProperty &&
         depth >= 3 && stack[depth - 3].className != QLatin1String("QComboBox") &&
         stack[depth - 3].className != QLatin1String("QListWidget"))) {
      return Fail(path, xml,
                  QStringLiteral("text \"%1\" in a tab title, item view or header: set it in "
                                 "code from the string table, or mark it notr")
                      .arg(text));
    }
    if (!textProperty) continue;
    if (owner.element == QLatin1String("item") && owner.itemIndex >= 0) {
      if (holder.name != QLatin1String("text")) continue;
      form.entries.push_back(
          {stack[depth - 3].name + QStringLiteral(".item%1").arg(owner.itemIndex), text});
      continue;
    }
    if (owner.element != QLatin1String("widget") && owner.element != QLatin1String("action")) {
      continue;  // layouts and spacers have no texts
    }
    const QString object = OwnerObject(stack, depth - 2);
    form.entries.push_back(
        {object.isEmpty() ? holder.name : object + QLatin1Char('.') + holder.name, text});
  }
  if (xml.hasError()) return Fail(path, xml, xml.errorString());
  if (form.templateId < 0) {
    std::fprintf(stderr, "%s: the root has no templateId property\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

// The constant's name for a form root: "CPropPageEvents" -> "kTemplatePropPageEvents"
// (the class prefix C dropped), "ConfigurationMenu" -> "kTemplateConfigurationMenu".
std::string TemplateConstant(const QString& root) {
  QString name = root;
  if (name.size() > 1 && name[0] == QLatin1Char('C') && name[1].isUpper()) name.remove(0, 1);
  return "kTemplate" + name.toStdString();
}

bool ValidIdentifier(const QString& name) {
  if (name.isEmpty() || !(name[0].isLetter() || name[0] == QLatin1Char('_'))) return false;
  for (QChar c : name) {
    if (!(c.isLetterOrNumber() || c == QLatin1Char('_')) || c.unicode() > 0x7F) return false;
  }
  return true;
}

// Writes `text` to `path` only when it changed, so that an unchanged form
// rebuilds nothing.
bool WriteIfChanged(const QString& path, const std::string& text) {
  QFile existing(path);
  if (existing.open(QIODevice::ReadOnly) && existing.readAll().toStdString() == text) return true;
  existing.close();
  QFile out(path);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      out.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size())) {
    std::fprintf(stderr, "%s: cannot write\n", qPrintable(path));
    return false;
  }
  return true;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: kestrune-dialogtexts <output.cpp|output.lang> [--templates=<header>] "
                 "<form.ui>...\n");
    return 2;
  }
  const QLatin1String templatesOption("--templates=");
  QString templatesHeader;
  std::map<long long, Form> forms;
  for (int i = 2; i < argc; ++i) {
    const QString argument = QString::fromLocal8Bit(argv[i]);
    if (argument.startsWith(templatesOption)) {
      templatesHeader = argument.mid(templatesOption.size());
      continue;
    }
    Form form;
    if (!ReadForm(argument, form)) return 1;
    const auto [it, added] = forms.emplace(form.templateId, form);
    if (!added) {
      std::fprintf(stderr, "%s: template %lld is also %s\n", argv[i], form.templateId,
                   qPrintable(it->second.file));
      return 1;
    }
  }
  std::string source =
      "// Written by kestrune-dialogtexts from resources/dialogs; do not edit.\n"
      "#include \"resources/language_module.h\"\n\n"
      "namespace kestrune::res {\n\n"
      "std::string_view BuiltinDialogModuleText() {\n"
      "  static constexpr char kText[] =\n";
  std::string lines;
  for (const auto& [id, form] : forms) {
    for (const Entry& entry : form.entries) {
      const std::string line = std::to_string(id) + "." + entry.key.toStdString() + "\t" +
                               EscapeModuleText(entry.text) + "\n";
      source += "      " + CppLiteral(line) + "\n";
      lines += line;
    }
  }
  if (lines.empty()) source += "      \"\"\n";
  source += "      ;\n  return {kText, sizeof kText - 1};\n}\n\n}  // namespace kestrune::res\n";

  // An output named *.lang takes the module lines alone (for a look at them).
  const QString output = QString::fromLocal8Bit(argv[1]);
  if (output.endsWith(QLatin1String(".lang"))) source = lines;
  if (!WriteIfChanged(output, source)) return 1;

  if (templatesHeader.isEmpty()) return 0;
  std::string header =
      "// Written by kestrune-dialogtexts from resources/dialogs; do not edit.\n"
      "// Each dialog template's number, as its form carries it.\n"
      "#pragma once\n\n"
      "namespace kestrune::res {\n\n";
  std::map<std::string, long long> constants;
  for (const auto& [id, form] : forms) {
    if (!ValidIdentifier(form.root)) {
      std::fprintf(stderr, "%s: the root's name is no identifier\n", qPrintable(form.file));
      return 1;
    }
    if (!constants.emplace(TemplateConstant(form.root), id).second) {
      std::fprintf(stderr, "%s: another form's root is also named %s\n", qPrintable(form.file),
                   qPrintable(form.root));
      return 1;
    }
  }
  for (const auto& [name, id] : constants)
    header += "inline constexpr unsigned " + name + " = " + std::to_string(id) + ";\n";
  header += "\n}  // namespace kestrune::res\n";
  return WriteIfChanged(templatesHeader, header) ? 0 : 1;
}
