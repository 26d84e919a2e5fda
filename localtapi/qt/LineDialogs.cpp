#include "localtapi/qt/LineDialogs.h"

#include "localtapi/qt/Handles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
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
    s.system = base.system; // what the system-wide file gives is not saved again
    s.systemFile = base.systemFile;
    for (const auto& [key, value] : values)
        if (!value.empty())
            s.entries.push_back({key, value, 0});
    return s;
}

// ---- Line device settings ----

LineSettingsDialog::LineSettingsDialog(QWidget* owner, DWORD deviceID, const LineSettings& current,
                                       const DriverRegistry& drivers, ServiceUi::Validate check)
    : QDialog(owner), base(current), registry(drivers), validate(std::move(check)), shownDriver(current.driver) {
    setWindowTitle(QStringLiteral("Line %1 settings").arg(deviceID));
    auto* layout = new QVBoxLayout(this);
    auto* top = topForm = new QFormLayout;
    name = new QLineEdit(Q(current.name), this);
    name->setToolTip(QStringLiteral("name \u2014 the line's name, shown in the \"?\" box"));
    driver = new QComboBox(this);
    for (const std::string& n : registry.Names()) {
        driver->addItem(Q(n));
        driver->setItemData(driver->count() - 1, Q(registry.Find(n)->description), Qt::ToolTipRole);
    }
    if (driver->findText(Q(current.driver)) < 0)
        driver->addItem(Q(current.driver));
    driver->setCurrentText(Q(current.driver));
    top->addRow(QStringLiteral("&Name:"), name);
    top->addRow(QStringLiteral("&Kind of line:"), driver);
    layout->addLayout(top);
    name->setToolTip(name->toolTip() + Q(SystemNote("name")));
    driver->setToolTip(QStringLiteral("driver \u2014 the kind of line") + Q(SystemNote("driver")));
    for (auto* w : {static_cast<QWidget*>(name), static_cast<QWidget*>(driver)}) {
        w->installEventFilter(this);
        MarkIfSystems(w == name ? "name" : "driver", w);
    }
    keysForm = new QFormLayout;
    keysForm->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    layout->addLayout(keysForm);
    help = new QLabel(this);
    help->setObjectName(QStringLiteral("help"));
    help->setWordWrap(true);
    help->setMinimumWidth(help->fontMetrics().averageCharWidth() * 56);
    layout->addWidget(help);
    warnings = new QLabel(this);
    warnings->setObjectName(QStringLiteral("warnings"));
    warnings->setStyleSheet(QStringLiteral("color: #805000"));
    warnings->setWordWrap(true);
    layout->addWidget(warnings);
    problems = new QLabel(this);
    problems->setObjectName(QStringLiteral("problems"));
    problems->setStyleSheet(QStringLiteral("color: #b00000"));
    problems->setWordWrap(true);
    problems->hide();
    layout->addWidget(problems);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(driver, &QComboBox::currentTextChanged, this, [this] { ShowKeys(); });
    connect(name, &QLineEdit::textChanged, this, [this] { Changed(); });
    ShowKeys();
}

// The fields of the chosen driver. The name goes with the driver while it is the
// previous driver's default name (or empty).
void LineSettingsDialog::ShowKeys() {
    while (keysForm->rowCount() > 0)
        keysForm->removeRow(0);
    fields.clear();
    const DriverInfo* previous = registry.Find(shownDriver);
    shownDriver = S(driver->currentText());
    const DriverInfo* info = registry.Find(shownDriver);
    if (info != nullptr && !info->defaultName.empty() &&
        (name->text().trimmed().isEmpty() || (previous != nullptr && S(name->text()) == previous->defaultName)))
        name->setText(Q(info->defaultName));
    if (info != nullptr)
        for (const SettingSpec& spec : info->settings)
            AddField(spec);
    help->setText(fields.empty() ? driver->currentData(Qt::ToolTipRole).toString() : fields.front().widget->toolTip());
    Changed();
    adjustSize(); // as tall as this driver's fields need
}

void LineSettingsDialog::AddField(const SettingSpec& spec) {
    const std::string key(spec.key);
    const LineSettings::Entry* entry = base.Find(key);
    const std::string value = entry ? entry->value : std::string();
    const QString label = Q(SettingLabel(spec));
    QWidget* widget = nullptr;
    if (spec.kind == SettingKind::YesNo) {
        auto* box = new QCheckBox(label, this);
        bool checked = ParseYesNo(value).value_or(ParseYesNo(spec.defaultValue).value_or(false));
        // The keyring is where a new line's password goes; a password in the file stays
        // there unless the user ticks the box.
        const SettingSpec* secret = SecretRow();
        if (secret != nullptr && key == KeyringKey() && entry == nullptr)
            checked = base.Text(std::string(secret->key)).empty();
        box->setChecked(checked);
        connect(box, &QCheckBox::toggled, this, [this] { Changed(); });
        keysForm->addRow(QString(), box);
        widget = box;
    } else if (spec.kind == SettingKind::Choice) {
        auto* list = new QComboBox(this);
        for (std::string_view choice : SettingChoices(spec))
            list->addItem(Q(std::string(choice)));
        const QString chosen = value.empty() ? Q(std::string(spec.defaultValue)) : Q(value).toLower();
        if (list->findText(chosen) < 0)
            list->addItem(Q(value)); // kept as the file has it; the driver says what is wrong
        list->setCurrentText(list->findText(chosen) < 0 ? Q(value) : chosen);
        connect(list, &QComboBox::currentTextChanged, this, [this] { Changed(); });
        keysForm->addRow(label + QLatin1Char(':'), list);
        widget = list;
    } else {
        auto* edit = new QLineEdit(Q(value), this);
        edit->setPlaceholderText(Q(std::string(spec.defaultValue)));
        if (spec.kind == SettingKind::Secret) {
            edit->setEchoMode(QLineEdit::Password);
            if (value.empty() && !KeyringKey().empty() && ParseYesNo(base.Text(KeyringKey())).value_or(false))
                edit->setPlaceholderText(QStringLiteral("(in the keyring; type a new one to replace it)"));
        }
        connect(edit, &QLineEdit::textChanged, this, [this] { Changed(); });
        keysForm->addRow(label + QLatin1Char(':'), edit);
        widget = edit;
    }
    widget->setObjectName(Q(key));
    widget->setToolTip(Q(key + " \u2014 " + SettingHelp(spec) + SystemNote(key)));
    MarkIfSystems(key, widget);
    widget->installEventFilter(this);
    fields.push_back({&spec, widget});
}

// A field's value for the file: empty (the default) when the file had no value and the
// field shows the default; a check box or list left as the file had it keeps its words.
std::string LineSettingsDialog::Value(const Field& f) const {
    const std::string key(f.spec->key);
    const LineSettings::Entry* entry = base.Find(key);
    if (auto* edit = qobject_cast<QLineEdit*>(f.widget))
        return S(edit->text(), entry ? entry->value : std::string());
    if (auto* box = qobject_cast<QCheckBox*>(f.widget)) {
        const bool fallback = ParseYesNo(f.spec->defaultValue).value_or(false);
        if (entry ? ParseYesNo(entry->value) == box->isChecked() : box->isChecked() == fallback)
            return entry ? entry->value : std::string();
        return box->isChecked() ? "yes" : "no";
    }
    const auto* list = static_cast<QComboBox*>(f.widget);
    const std::string chosen = S(list->currentText());
    if (entry ? S(Q(entry->value).toLower()) == chosen || entry->value == chosen : chosen == f.spec->defaultValue)
        return entry ? entry->value : std::string();
    return chosen;
}

// After any edit: the warnings anew, and the reasons OK was refused once they are mended.
void LineSettingsDialog::Changed() {
    const DriverInfo* info = registry.Find(shownDriver);
    QStringList found;
    if (info != nullptr && info->warnings)
        for (const std::string& w : info->warnings(Settings()))
            found << Q(w);
    warnings->setText(found.join(QLatin1Char('\n')));
    warnings->setVisible(!found.isEmpty());
    if (!problems->isHidden() && validate) {
        QString text;
        for (const ConfigProblem& p : validate(Settings()))
            text += Q(p.text) + QLatin1Char('\n');
        problems->setText(text.trimmed());
        problems->setVisible(!text.isEmpty());
    }
}

bool LineSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        if (auto* widget = qobject_cast<QWidget*>(watched))
            help->setText(widget->toolTip());
    return QDialog::eventFilter(watched, event);
}

QWidget* LineSettingsDialog::field(const std::string& key) const {
    for (const Field& f : fields)
        if (f.spec->key == key)
            return f.widget;
    return nullptr;
}

QLineEdit* LineSettingsDialog::keyEdit(const std::string& key) const {
    return qobject_cast<QLineEdit*>(field(key));
}

// " (for everyone, from /etc/xdg/orvodial/telephony.ini)" for a value the system-wide file
// gives; nothing otherwise.
std::string LineSettingsDialog::SystemNote(const std::string& key) const {
    return base.system.count(key) != 0 ? " (for everyone, from " + base.systemFile + ")" : std::string();
}

// A field whose value the system-wide file gives has its label say so.
void LineSettingsDialog::MarkIfSystems(const std::string& key, QWidget* field) {
    if (base.system.count(key) == 0)
        return;
    for (QFormLayout* form : {topForm, keysForm})
        if (auto* label = form ? qobject_cast<QLabel*>(form->labelForField(field)) : nullptr) {
            label->setText(label->text().chopped(1) + QStringLiteral(" (for everyone):"));
            return;
        }
    if (auto* box = qobject_cast<QCheckBox*>(field))
        box->setText(box->text() + QStringLiteral(" (for everyone)"));
}

// The driver's password row, when it keeps its password in the keyring.
const SettingSpec* LineSettingsDialog::SecretRow() const {
    const DriverInfo* info = registry.Find(shownDriver);
    if (info == nullptr || !info->secretEntry)
        return nullptr;
    for (const SettingSpec& spec : info->settings)
        if (spec.kind == SettingKind::Secret)
            return &spec;
    return nullptr;
}

// The driver's setting that keeps the password in the keyring; empty when it has none.
std::string LineSettingsDialog::KeyringKey() const {
    const DriverInfo* info = registry.Find(shownDriver);
    return SecretRow() != nullptr ? info->keyringKey : std::string();
}

LineSettings LineSettingsDialog::Settings() const {
    std::vector<std::pair<std::string, std::string>> values;
    const SettingSpec* secret = SecretRow();
    const std::string keyringKey = KeyringKey();
    const auto* keyring = keyringKey.empty() ? nullptr : qobject_cast<QCheckBox*>(field(keyringKey));
    for (const Field& f : fields) {
        std::string value = Value(f);
        if (secret != nullptr && keyring != nullptr) {
            // In the keyring, the password is not in the file; and the keyring is named only
            // while it holds one (typed now, or there before).
            if (f.spec == secret && keyring->isChecked() && secretStored)
                value.clear();
            if (f.widget == keyring)
                value = keyring->isChecked() && (!S(keyEdit(std::string(secret->key))->text()).empty() ||
                                                 ParseYesNo(base.Text(keyringKey)).value_or(false))
                            ? "yes"
                            : (base.Find(keyringKey) != nullptr ? "no" : "");
        }
        values.emplace_back(std::string(f.spec->key), value);
    }
    return EditedSettings(base, S(name->text(), base.name), S(driver->currentText(), base.driver), values);
}

// OK is refused while the driver rejects the settings; the reasons are shown. Then a
// password for the keyring goes there; one it does not take refuses OK too.
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
    const SettingSpec* secret = SecretRow();
    if (result == QDialog::Accepted && secret != nullptr && !secretStored) {
        const LineSettings s = Settings();
        const std::string typed = s.Text(std::string(secret->key));
        if (ParseYesNo(s.Text(KeyringKey())).value_or(false) && !typed.empty()) {
            setCursor(Qt::WaitCursor);
            const KeyringResult stored = WriteSecret(registry.Find(shownDriver)->secretEntry(s), typed);
            unsetCursor();
            if (stored.outcome != KeyringResult::Outcome::Done) {
                problems->setText(QStringLiteral("The desktop's keyring did not take the password (%1). Clear \"%2\" "
                                                 "to keep it in the configuration file instead.")
                                      .arg(Q(stored.why), static_cast<QCheckBox*>(field(KeyringKey()))->text()));
                problems->show();
                return;
            }
            secretStored = true;
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
