// The folder picker: only file-system folders, a line for typing a path,
// resizable. Modal.
#pragma once

#include <QWidget>
#include <string>

namespace orvana {

class CFolderDialog {
  public:
    enum Result { IDOK = 1, IDCANCEL = 2 };
    // Option flags, or-ed; the default is what the settings dialog uses.
    enum Flags {
        kFileSystemOnly = 1,  // only folders that exist in the file system
        kEditBox = 2,         // a line to type a path into
        kNewStyle = 4,        // the resizable dialog
        kDefaultFlags = kFileSystemOnly | kEditBox | kNewStyle,
    };

    // title: the caption; initialFolder: selected when the picker opens.
    // parent may be null. UI thread.
    CFolderDialog(std::string title, std::string initialFolder, QWidget* parent,
                  int flags = kDefaultFlags);

    // Shows the picker. IDOK with GetFolderPath() the chosen folder's full
    // path; IDCANCEL when cancelled. A typed path that is no existing folder
    // beeps and opens the picker again on it.
    int DoModal();
    const std::string& GetFolderPath() const { return path_; }

  private:
    std::string title_;
    std::string initial_;
    QWidget* parent_;  // not owned
    int flags_;
    std::string path_;
};

}  // namespace orvana
