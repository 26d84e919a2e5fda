// LineDialogs: the line device settings dialog, the dialing properties dialog and the
// device icon of the local telephony service, and the ServiceUi that shows them.
//
// The dialogs work on plain values (LineSettings, Location); the service decides what is
// saved. EditedSettings and the dialogs' accessors hold the logic so that it can be tested
// without showing anything.
#pragma once

#include "localtapi/DialingRules.h"
#include "localtapi/LineDriver.h"
#include "localtapi/LocalTapi.h"

#include <QDialog>
#include <QImage>

#include <memory>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;

namespace localtapi::qt {

// A device's settings after editing: name and driver as given; the driver's keys with a
// non-empty value, in the driver's order. Keys of another driver are not carried over.
LineSettings EditedSettings(const LineSettings& base, const std::string& name, const std::string& driver,
                            const std::vector<std::pair<std::string, std::string>>& values);

// The settings of one line device, for someone who has never seen its file: the driver
// chosen from a list, then one field per row of that driver's settings table, labelled
// in words (the key and what the row allows in the help line under the fields): a check
// box for yes/no, a list for a choice, a masked field for a password, a line of text
// otherwise, empty meaning the default (shown greyed). The name follows the driver while
// it is the previous driver's default name. OK is refused while the driver rejects the
// settings; the reasons go as soon as the fields are mended. The driver's warnings (a
// modem's port that is not there now) are shown without refusing anything.
//
// A driver with a password and a keyring entry for it (SIP): with "keep the password in
// the desktop's keyring" ticked (the start for a line with no password in its file; an
// old file's password=, shown masked, is offered to be moved by ticking it), OK stores the
// password typed into the keyring and the settings hold none; a keyring that does not
// take it refuses OK with its words.
class LineSettingsDialog : public QDialog {
  public:
    LineSettingsDialog(QWidget* owner, DWORD deviceID, const LineSettings& current,
                       const DriverRegistry& drivers, ServiceUi::Validate validate);
    LineSettings Settings() const;
    QLineEdit* nameEdit() const { return name; }
    QComboBox* driverBox() const { return driver; }
    // The field of a key of the driver shown: a QLineEdit, QCheckBox or QComboBox.
    QWidget* field(const std::string& key) const;
    QLineEdit* keyEdit(const std::string& key) const;
    // The help line under the fields: the key and help text of the field with the focus.
    QLabel* helpLine() const { return help; }
    QLabel* problemsLine() const { return problems; }
    QLabel* warningsLine() const { return warnings; }
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Field {
        const SettingSpec* spec;
        QWidget* widget;
    };
    void ShowKeys();
    void AddField(const SettingSpec& spec);
    std::string Value(const Field& f) const;
    void Changed();
    const SettingSpec* SecretRow() const;
    std::string KeyringKey() const;
    std::string SystemNote(const std::string& key) const;
    void MarkIfSystems(const std::string& key, QWidget* field);

    LineSettings base;
    const DriverRegistry& registry;
    ServiceUi::Validate validate;
    QLineEdit* name;
    QComboBox* driver;
    std::string shownDriver;
    QFormLayout* topForm = nullptr;  // name and kind of line
    QFormLayout* keysForm = nullptr; // the driver's settings
    QLabel* help;
    QLabel* warnings;
    QLabel* problems;
    std::vector<Field> fields;
    bool secretStored = false; // the password went into the keyring on OK
};

class LocationDialog : public QDialog {
  public:
    LocationDialog(QWidget* owner, const std::string& number, const Location& current);
    Location CurrentLocation() const;
    std::string DialedNumber() const;
    QLineEdit* field(const char* key) const;

  private:
    void Update();

    std::string number;
    Location original;
    std::vector<std::pair<std::string, QLineEdit*>> fields;
    QLabel* dialed;
};

// The device icon: a desk telephone, 32 by 32 pixels, tinted by driver.
QImage DeviceIcon(const std::string& driver);

class QtServiceUi : public ServiceUi {
  public:
    std::optional<LineSettings> EditLine(HWND owner, DWORD deviceID, const LineSettings& current,
                                         const DriverRegistry& drivers, const Validate& validate) override;
    std::optional<Location> EditLocation(HWND owner, const std::string& number,
                                         const Location& current) override;
    HICON CreateIcon(const std::string& driver) override;
    bool DrawIcon(HDC hdc, int x, int y, HICON icon, int width, int height) override;
    void DestroyIcon(HICON icon) override;
};

// A service with the Qt dialogs and icons.
std::shared_ptr<LocalTapi> NewLocalTapi(LocalTapi::Options options);

} // namespace localtapi::qt
