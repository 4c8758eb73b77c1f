#pragma once
// What every panel needs from the desktop around it: message, confirmation
// and prompt pop-ups, the file dialog and the busy cursor (the engine wait is
// link::EventLoopWaiter). Panels reach pop-ups only through UiServices, so tests
// answer them from a script instead of a person.

#include <QEvent>

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "value_diff.h"

class QWidget;

namespace tavomark {
struct SettingsBlock;
}

namespace tavomark::ui {

// The inputs of one file dialog, as SelectPath prepares them.
struct FileDialogRequest {
  std::string title;
  std::string directory;  // where the dialog starts; empty: the current directory
  std::string fileName;   // preselected name (the pattern when no path was given)
  std::string filter;     // "*.vts", or empty for every file
  bool save = false;      // "Save" button and a new name allowed; else "Load"
};

// The operator's answer to the list of records a write would change.
struct WriteConfirmation {
  bool send = false;
  bool dontAskAgain = false;  // "Don't ask again" was ticked
};

class UiServices {
 public:
  virtual ~UiServices() = default;
  // A message with OK. The detail, when given, says why (the file, the byte
  // offset, the system's reason); the window shows it under the text. The
  // last message that was not a plain "Done!" is kept for the status bar.
  void MessagePopup(const std::string& title, const std::string& text, const std::string& detail = {});
  [[nodiscard]] const std::string& LastMessage() const { return m_lastMessage; }
  // Where a file dialog starts when the kind of file it asks for has no last
  // path yet (the project folder); empty: the current directory.
  void SetDefaultDirectory(std::string directory) { m_defaultDirectory = std::move(directory); }
  [[nodiscard]] const std::string& DefaultDirectory() const { return m_defaultDirectory; }
  // The folder of the last file chosen for a kind of file (the dialog's
  // filter, "*.vts"); empty when none was chosen yet.
  [[nodiscard]] std::string LastFolder(const std::string& kind) const;
  void SetLastFolder(const std::string& kind, std::string folder);
  // The records a write would change (summary above them), with Send and
  // Cancel and a "Don't ask again" box. By default a plain confirmation.
  virtual WriteConfirmation ConfirmWrite(const std::string& title, const std::string& summary,
                                         const std::vector<ValueDiff>& diffs);
  // Yes / No; true for yes.
  virtual bool ConfirmPopup(const std::string& title, const std::string& text) = 0;
  // OK / Cancel with a text answer of at most maxLength characters; nothing
  // when cancelled.
  virtual std::optional<std::string> PromptPopup(const std::string& title, const std::string& text,
                                                 std::size_t maxLength) = 0;
  // The chosen path, or nothing when cancelled.
  virtual std::optional<std::string> FileSelectPopup(const FileDialogRequest& request) = 0;

 protected:
  virtual void ShowMessage(const std::string& title, const std::string& text, const std::string& detail) = 0;

 private:
  std::string m_lastMessage;
  std::string m_defaultDirectory;
  std::map<std::string, std::string> m_lastFolders;
};

// The real pop-ups: Qt message boxes, input dialogs and the Qt file dialog,
// all modal to the parent window.
class QtUiServices final : public UiServices {
 public:
  explicit QtUiServices(QWidget* parent = nullptr) : m_parent(parent) {}
  void SetParent(QWidget* parent) { m_parent = parent; }

  bool ConfirmPopup(const std::string& title, const std::string& text) override;
  std::optional<std::string> PromptPopup(const std::string& title, const std::string& text,
                                         std::size_t maxLength) override;
  std::optional<std::string> FileSelectPopup(const FileDialogRequest& request) override;
  WriteConfirmation ConfirmWrite(const std::string& title, const std::string& summary,
                                 const std::vector<ValueDiff>& diffs) override;

 protected:
  void ShowMessage(const std::string& title, const std::string& text, const std::string& detail) override;

 private:
  QWidget* m_parent = nullptr;
};

// Pop-ups answered from queues, for tests. Every pop-up is recorded; one that
// finds its queue empty is answered no / cancel and counted as unexpected.
class ScriptedUiServices final : public UiServices {
 public:
  struct Shown {
    std::string kind;  // "message", "confirm", "prompt" or "file"
    std::string title;
    std::string text;
    std::string detail;
  };

  bool ConfirmPopup(const std::string& title, const std::string& text) override;
  std::optional<std::string> PromptPopup(const std::string& title, const std::string& text,
                                         std::size_t maxLength) override;
  std::optional<std::string> FileSelectPopup(const FileDialogRequest& request) override;
  WriteConfirmation ConfirmWrite(const std::string& title, const std::string& summary,
                                 const std::vector<ValueDiff>& diffs) override;

  std::deque<bool> confirms;
  std::deque<std::optional<std::string>> prompts;
  std::deque<std::optional<std::string>> files;  // nothing: the dialog is cancelled
  // Write confirmations take their answer from confirms and, when this queue
  // has one, their "Don't ask again" box from here; the list is kept.
  std::deque<bool> dontAskAgain;
  std::vector<std::vector<ValueDiff>> writeLists;

  std::vector<Shown> shown;
  std::vector<FileDialogRequest> fileRequests;
  int unexpected = 0;

  [[nodiscard]] std::vector<Shown> Messages() const;
  void Clear() { shown.clear(); fileRequests.clear(); unexpected = 0; }

 protected:
  void ShowMessage(const std::string& title, const std::string& text, const std::string& detail) override;
};

// Builds the dialog inputs: the filter "*.<ext>" from the pattern's extension
// (empty when it has none); a non-empty path gives the start directory and
// name, an empty one the current directory and the pattern as name.
[[nodiscard]] FileDialogRequest MakeFileDialogRequest(const std::string& title, const std::string& path,
                                                      const std::string& pattern, bool save);

// Lets the user choose a file, starting in the folder of path, else in the
// folder of the last file of that kind, else in the services' default
// directory; the chosen file's folder is remembered for its kind. Returns 1 and updates path when a non-empty path
// was chosen, else 0 with path unchanged.
[[nodiscard]] int SelectPath(UiServices& services, const std::string& title, std::string& path,
                             const std::string& pattern, bool save);
// The same for a fixed-size path field of the settings block (kept terminated;
// a choice that does not fit is refused with 0).
[[nodiscard]] int SelectPath(UiServices& services, const std::string& title, char* path, std::size_t capacity,
                             const std::string& pattern, bool save);

// The remembered folders travel in the settings ([Folders]): value files,
// headers, struct texts, recordings and backups.
void LoadFolders(UiServices& services, const SettingsBlock& settings);
void StoreFolders(const UiServices& services, SettingsBlock& settings);

// What the user does to a panel (clicks, keys, wheel, menus, drops); repaints,
// timers and the like are not. An inactive panel swallows these.
[[nodiscard]] bool IsUserInput(QEvent::Type type);

// Shows the busy cursor for its lifetime and restores the previous cursor on
// every way out of the scope.
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace tavomark::ui
