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

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;

namespace localtapi::qt {

// A device's settings after editing: name and driver as given; the driver's keys with a
// non-empty value, in the driver's order. Keys of another driver are not carried over.
LineSettings EditedSettings(const LineSettings& base, const std::string& name, const std::string& driver,
                            const std::vector<std::pair<std::string, std::string>>& values);

class LineSettingsDialog : public QDialog {
  public:
    LineSettingsDialog(QWidget* owner, DWORD deviceID, const LineSettings& current,
                       const DriverRegistry& drivers, ServiceUi::Validate validate);
    LineSettings Settings() const;
    QLineEdit* nameEdit() const { return name; }
    QComboBox* driverBox() const { return driver; }
    QLineEdit* keyEdit(const std::string& key) const;
    // The help line under the fields: the help text of the field with the focus.
    QLabel* helpLine() const { return help; }
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowKeys();

    LineSettings base;
    const DriverRegistry& registry;
    ServiceUi::Validate validate;
    QLineEdit* name;
    QComboBox* driver;
    QFormLayout* keysForm;
    QLabel* help;
    QLabel* problems;
    std::vector<std::pair<std::string, QLineEdit*>> keyEdits;
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
