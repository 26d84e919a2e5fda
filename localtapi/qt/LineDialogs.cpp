#include "localtapi/qt/LineDialogs.h"

#include "localtapi/qt/Handles.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cstdlib>

namespace localtapi::qt {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
// A field's text as a setting: one line (a line break would split the entry in the
// file), without surrounding blanks.
std::string S(const QString& s) {
    QString line = s;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line.trimmed().toStdString();
}
// A field's text as a setting; the original bytes when the field still shows them
// unchanged, so that text that is not valid UTF-8 survives a save untouched.
std::string S(const QString& s, const std::string& original) {
    return s == Q(original) ? original : S(s);
}

struct LocationField {
    const char* key;
    const char* label;
    std::string Location::*member;
};
const LocationField kLocationFields[] = {
    {"outside_prefix", "Outside-line prefix:", &Location::outsidePrefix},
    {"country_code", "Country code:", &Location::countryCode},
    {"area_code", "Area code:", &Location::areaCode},
    {"long_distance_prefix", "Long-distance prefix:", &Location::longDistancePrefix},
    {"international_prefix", "International prefix:", &Location::internationalPrefix},
};

} // namespace

LineSettings EditedSettings(const LineSettings& base, const std::string& name, const std::string& driver,
                            const std::vector<std::pair<std::string, std::string>>& values) {
    LineSettings s;
    s.group = base.group;
    s.groupLine = base.groupLine;
    s.name = name;
    s.driver = driver;
    for (const auto& [key, value] : values)
        if (!value.empty())
            s.entries.push_back({key, value, 0});
    return s;
}

// ---- Line device settings ----

LineSettingsDialog::LineSettingsDialog(QWidget* owner, DWORD deviceID, const LineSettings& current,
                                       const DriverRegistry& drivers, ServiceUi::Validate check)
    : QDialog(owner), base(current), registry(drivers), validate(std::move(check)) {
    setWindowTitle(QStringLiteral("Line %1 settings").arg(deviceID));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    name = new QLineEdit(Q(current.name), this);
    driver = new QComboBox(this);
    for (const std::string& n : registry.Names())
        driver->addItem(Q(n));
    if (driver->findText(Q(current.driver)) < 0)
        driver->addItem(Q(current.driver));
    driver->setCurrentText(Q(current.driver));
    top->addRow(QStringLiteral("&Name:"), name);
    top->addRow(QStringLiteral("&Driver:"), driver);
    layout->addLayout(top);
    keysForm = new QFormLayout;
    keysForm->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    layout->addLayout(keysForm);
    help = new QLabel(this);
    help->setObjectName(QStringLiteral("help"));
    help->setWordWrap(true);
    help->setMinimumWidth(help->fontMetrics().averageCharWidth() * 56);
    layout->addWidget(help);
    problems = new QLabel(this);
    problems->setStyleSheet(QStringLiteral("color: #b00000"));
    problems->setWordWrap(true);
    problems->hide();
    layout->addWidget(problems);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(driver, &QComboBox::currentTextChanged, this, [this] { ShowKeys(); });
    ShowKeys();
}

// One line edit per key of the chosen driver, holding the current value (empty = default).
void LineSettingsDialog::ShowKeys() {
    while (keysForm->rowCount() > 0)
        keysForm->removeRow(0);
    keyEdits.clear();
    const DriverInfo* info = registry.Find(S(driver->currentText()));
    if (info == nullptr)
        return;
    // One field per row of the driver's settings table: empty shows the default.
    for (const SettingSpec& k : info->settings) {
        const std::string key(k.key);
        auto* edit = new QLineEdit(Q(base.Text(key)), this);
        edit->setPlaceholderText(Q(std::string(k.defaultValue)));
        edit->setToolTip(Q(SettingHelp(k)));
        edit->setObjectName(Q(key));
        if (k.kind == SettingKind::Secret)
            edit->setEchoMode(QLineEdit::Password);
        edit->installEventFilter(this);
        keysForm->addRow(Q(key + ":"), edit);
        keyEdits.emplace_back(key, edit);
    }
    help->setText(keyEdits.empty() ? QString() : keyEdits.front().second->toolTip());
}

bool LineSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            help->setText(edit->toolTip());
    return QDialog::eventFilter(watched, event);
}

QLineEdit* LineSettingsDialog::keyEdit(const std::string& key) const {
    for (const auto& [k, edit] : keyEdits)
        if (k == key)
            return edit;
    return nullptr;
}

LineSettings LineSettingsDialog::Settings() const {
    std::vector<std::pair<std::string, std::string>> values;
    for (const auto& [key, edit] : keyEdits)
        values.emplace_back(key, S(edit->text(), base.Text(key)));
    return EditedSettings(base, S(name->text(), base.name), S(driver->currentText(), base.driver), values);
}

// OK is refused while the driver rejects the settings; the reasons are shown.
void LineSettingsDialog::done(int result) {
    if (result == QDialog::Accepted && validate) {
        const std::vector<ConfigProblem> found = validate(Settings());
        if (!found.empty()) {
            QString text;
            for (const ConfigProblem& p : found)
                text += Q(p.text) + QLatin1Char('\n');
            problems->setText(text.trimmed());
            problems->show();
            return;
        }
    }
    QDialog::done(result);
}

// ---- Dialing properties ----

LocationDialog::LocationDialog(QWidget* owner, const std::string& numberIn, const Location& current)
    : QDialog(owner), number(numberIn), original(current) {
    setWindowTitle(QStringLiteral("Dialing properties"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (const LocationField& f : kLocationFields) {
        auto* edit = new QLineEdit(Q(current.*(f.member)), this);
        edit->setObjectName(QLatin1String(f.key));
        form->addRow(QLatin1String(f.label), edit);
        fields.emplace_back(f.key, edit);
        connect(edit, &QLineEdit::textChanged, this, [this] { Update(); });
    }
    layout->addLayout(form);
    auto* numbers = new QFormLayout;
    auto* given = new QLabel(Q(number), this);
    given->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dialed = new QLabel(this);
    dialed->setObjectName(QStringLiteral("dialed"));
    dialed->setTextInteractionFlags(Qt::TextSelectableByMouse);
    numbers->addRow(QStringLiteral("Number as given:"), given);
    numbers->addRow(QStringLiteral("Number as dialled:"), dialed);
    layout->addLayout(numbers);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Update();
}

QLineEdit* LocationDialog::field(const char* key) const {
    for (const auto& [k, edit] : fields)
        if (k == key)
            return edit;
    return nullptr;
}

Location LocationDialog::CurrentLocation() const {
    Location l;
    for (const LocationField& f : kLocationFields)
        l.*(f.member) = S(field(f.key)->text(), original.*(f.member));
    return l;
}

std::string LocationDialog::DialedNumber() const {
    return TranslateAddress(number, CurrentLocation());
}

void LocationDialog::Update() {
    dialed->setText(Q(DialedNumber()));
}

// ---- Icon ----

QImage DeviceIcon(const std::string& driver) {
    constexpr int kSize = 32;
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // A tint per driver, so that different kinds of device look different.
    std::size_t hash = std::hash<std::string>{}(driver);
    const QColor body =
        driver == "simulated" ? QColor(0x1f, 0x6f, 0xb5) : QColor::fromHsv(int(hash % 360), 160, 170);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(body.darker(160), 1.2));
    // Base of the desk telephone.
    QPainterPath base;
    base.moveTo(5, 28);
    base.lineTo(9, 15);
    base.lineTo(23, 15);
    base.lineTo(27, 28);
    base.closeSubpath();
    p.setBrush(body);
    p.drawPath(base);
    // Handset on its cradle.
    p.drawRoundedRect(QRectF(3, 6, 26, 6), 3, 3);
    // Keypad: three by three keys.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf0, 0xf0, 0xf0));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRect(QRectF(12 + col * 3, 17 + row * 3.3, 2, 2));
    return image;
}

// ---- The service's user interface ----

std::optional<LineSettings> QtServiceUi::EditLine(HWND owner, DWORD deviceID, const LineSettings& current,
                                                  const DriverRegistry& drivers, const Validate& validate) {
    LineSettingsDialog dialog(WidgetFromHwnd(owner), deviceID, current, drivers, validate);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Settings();
}

std::optional<Location> QtServiceUi::EditLocation(HWND owner, const std::string& number,
                                                  const Location& current) {
    LocationDialog dialog(WidgetFromHwnd(owner), number, current);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.CurrentLocation();
}

HICON QtServiceUi::CreateIcon(const std::string& driver) {
    return HiconFromImage(new QImage(DeviceIcon(driver)));
}

bool QtServiceUi::DrawIcon(HDC hdc, int x, int y, HICON icon, int width, int height) {
    QPainter* painter = PainterFromHdc(hdc);
    const QImage* image = ImageFromHicon(icon);
    if (painter == nullptr || image == nullptr || !painter->isActive())
        return false;
    const int w = width != 0 ? width : image->width();
    const int h = height != 0 ? height : image->height();
    painter->drawImage(QRect(x, y, w, h), *image);
    return true;
}

void QtServiceUi::DestroyIcon(HICON icon) {
    delete ImageFromHicon(icon);
}

std::shared_ptr<LocalTapi> NewLocalTapi(LocalTapi::Options options) {
    auto service = std::make_shared<LocalTapi>(std::move(options));
    service->SetUi(std::make_unique<QtServiceUi>());
    return service;
}

} // namespace localtapi::qt
