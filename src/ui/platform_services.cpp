#include "platform_services.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "diff_dialog.h"
#include "names.h"
#include "settings.h"

namespace tavomark::ui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

std::string UiServices::LastFolder(const std::string& kind) const {
  const auto found = m_lastFolders.find(kind);
  return found == m_lastFolders.end() ? std::string() : found->second;
}

void UiServices::SetLastFolder(const std::string& kind, std::string folder) {
  if (!folder.empty()) m_lastFolders[kind] = std::move(folder);
}

void UiServices::MessagePopup(const std::string& title, const std::string& text, const std::string& detail) {
  if (text != "Done!") m_lastMessage = detail.empty() ? text : text + ": " + detail;
  ShowMessage(title, text, detail);
}

void QtUiServices::ShowMessage(const std::string& title, const std::string& text, const std::string& detail) {
  QMessageBox box(QMessageBox::Information, Q(title), Q(text), QMessageBox::Ok, m_parent);
  if (!detail.empty()) {
    // The reason shows in the box at once; the detail area keeps it for copying.
    box.setInformativeText(Q(detail));
    box.setDetailedText(Q(detail));
  }
  box.exec();
}

WriteConfirmation UiServices::ConfirmWrite(const std::string& title, const std::string& summary,
                                           const std::vector<ValueDiff>& diffs) {
  return {ConfirmPopup(title, summary + "\n" + FormatValueDiffs(diffs)), false};
}

WriteConfirmation QtUiServices::ConfirmWrite(const std::string& title, const std::string& summary,
                                             const std::vector<ValueDiff>& diffs) {
  return ExecWriteDiffDialog(m_parent, title, summary, diffs);
}

WriteConfirmation ScriptedUiServices::ConfirmWrite(const std::string& title, const std::string& summary,
                                                   const std::vector<ValueDiff>& diffs) {
  writeLists.push_back(diffs);
  WriteConfirmation answer;
  answer.send = ConfirmPopup(title, summary);
  if (!dontAskAgain.empty()) {
    answer.dontAskAgain = dontAskAgain.front();
    dontAskAgain.pop_front();
  }
  return answer;
}

bool QtUiServices::ConfirmPopup(const std::string& title, const std::string& text) {
  return QMessageBox::question(m_parent, Q(title), Q(text), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

std::optional<std::string> QtUiServices::PromptPopup(const std::string& title, const std::string& text,
                                                     std::size_t maxLength) {
  QInputDialog dialog(m_parent);
  dialog.setWindowTitle(Q(title));
  dialog.setLabelText(Q(text));
  dialog.setInputMode(QInputDialog::TextInput);
  if (auto* edit = dialog.findChild<QLineEdit*>())
    edit->setMaxLength(static_cast<int>(std::min<std::size_t>(maxLength, 32767)));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::string answer = dialog.textValue().toStdString();
  if (answer.size() > maxLength) answer.resize(maxLength);
  return answer;
}

std::optional<std::string> QtUiServices::FileSelectPopup(const FileDialogRequest& request) {
  QFileDialog dialog(m_parent, Q(request.title));
  // Qt's own dialog, so the accept button can carry "Save" or "Load".
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  // No directory creation from the dialog.
  dialog.setOption(QFileDialog::ReadOnly, true);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setLabelText(QFileDialog::Accept, request.save ? "Save" : "Load");
  if (!request.filter.empty()) {
    dialog.setNameFilter(Q(request.filter));
    const std::string ext = GetFileExtension(request.filter);
    if (!ext.empty()) dialog.setDefaultSuffix(Q(ext));
  }
  if (!request.directory.empty()) dialog.setDirectory(Q(request.directory));
  if (!request.fileName.empty()) dialog.selectFile(Q(request.fileName));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front().toStdString();
}

void ScriptedUiServices::ShowMessage(const std::string& title, const std::string& text, const std::string& detail) {
  shown.push_back({"message", title, text, detail});
}

bool ScriptedUiServices::ConfirmPopup(const std::string& title, const std::string& text) {
  shown.push_back({"confirm", title, text, {}});
  if (confirms.empty()) {
    ++unexpected;
    return false;
  }
  const bool answer = confirms.front();
  confirms.pop_front();
  return answer;
}

std::optional<std::string> ScriptedUiServices::PromptPopup(const std::string& title, const std::string& text,
                                                           std::size_t maxLength) {
  shown.push_back({"prompt", title, text, {}});
  if (prompts.empty()) {
    ++unexpected;
    return std::nullopt;
  }
  std::optional<std::string> answer = prompts.front();
  prompts.pop_front();
  if (answer && answer->size() > maxLength) answer->resize(maxLength);
  return answer;
}

std::optional<std::string> ScriptedUiServices::FileSelectPopup(const FileDialogRequest& request) {
  shown.push_back({"file", request.title, request.filter, {}});
  fileRequests.push_back(request);
  if (files.empty()) {
    ++unexpected;
    return std::nullopt;
  }
  std::optional<std::string> answer = files.front();
  files.pop_front();
  return answer;
}

std::vector<ScriptedUiServices::Shown> ScriptedUiServices::Messages() const {
  std::vector<Shown> out;
  std::copy_if(shown.begin(), shown.end(), std::back_inserter(out),
               [](const Shown& s) { return s.kind == "message"; });
  return out;
}

FileDialogRequest MakeFileDialogRequest(const std::string& title, const std::string& path,
                                        const std::string& pattern, bool save) {
  FileDialogRequest request;
  request.title = title;
  request.save = save;
  const std::string ext = GetFileExtension(pattern);
  if (!ext.empty()) request.filter = "*." + ext;
  if (path.empty()) {
    request.fileName = pattern;
    return request;
  }
  // Settings written on Windows hold '\' separators; split on both.
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) {
    request.fileName = path;
  } else {
    request.directory = path.substr(0, slash == 0 ? 1 : slash);
    request.fileName = path.substr(slash + 1);
  }
  return request;
}

int SelectPath(UiServices& services, const std::string& title, std::string& path, const std::string& pattern,
               bool save) {
  FileDialogRequest request = MakeFileDialogRequest(title, path, pattern, save);
  if (request.directory.empty()) request.directory = services.LastFolder(request.filter);
  if (request.directory.empty()) request.directory = services.DefaultDirectory();
  const std::optional<std::string> chosen = services.FileSelectPopup(request);
  if (!chosen || chosen->empty()) return 0;
  path = *chosen;
  services.SetLastFolder(request.filter, std::filesystem::path(path).parent_path().string());
  return 1;
}

int SelectPath(UiServices& services, const std::string& title, char* path, std::size_t capacity,
               const std::string& pattern, bool save) {
  if (path == nullptr || capacity == 0) return 0;
  std::string text(path, strnlen(path, capacity));
  if (!SelectPath(services, title, text, pattern, save)) return 0;
  if (text.size() >= capacity) {
    services.MessagePopup(title, "The path is too long: at most " + std::to_string(capacity - 1) +
                                     " characters can be kept.");
    return 0;
  }
  std::memset(path, 0, capacity);
  std::memcpy(path, text.data(), text.size());
  return 1;
}

namespace {

// The dialog filter of each remembered folder.
constexpr std::pair<const char*, std::string SettingsFolders::*> kFolderKinds[] = {
    {"*.vts", &SettingsFolders::value},         {"*.h", &SettingsFolders::header},
    {"*.txt", &SettingsFolders::structText},    {"*.csv", &SettingsFolders::recording},
    {"*.img", &SettingsFolders::backup}};

}  // namespace

void LoadFolders(UiServices& services, const SettingsBlock& settings) {
  for (const auto& [kind, folder] : kFolderKinds) services.SetLastFolder(kind, settings.folders.*folder);
}

void StoreFolders(const UiServices& services, SettingsBlock& settings) {
  for (const auto& [kind, folder] : kFolderKinds) {
    std::string last = services.LastFolder(kind);
    if (!last.empty()) settings.folders.*folder = std::move(last);
  }
}

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }

BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

}  // namespace tavomark::ui
