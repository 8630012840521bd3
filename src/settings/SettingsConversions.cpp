#include "settings/SettingsConversions.h"

#include <QRegularExpression>

namespace {
// A whole number written in decimal, with optional blanks and sign.
bool wholeNumber(const QString& text, long long& out) {
    bool ok = false;
    out = text.trimmed().toLongLong(&ok, 10);
    return ok;
}
} // namespace

int playerSecondsFromText(const QString& text) {
    long long value = 0;
    if (!wholeNumber(text, value) || value < 1 || value > 54)
        return 1;
    return static_cast<int>(value);
}

int sliderPositionFromText(const QString& text) {
    long long value = 0;
    if (!wholeNumber(text, value))
        return 1;
    return static_cast<int>(std::clamp<long long>(value, 1, 30));
}

bool isSavePathOn(const QVariant& intSavePath) {
    if (intSavePath.typeId() == QMetaType::QString) {
        bool ok = false;
        const double value = intSavePath.toString().trimmed().toDouble(&ok);
        return ok && value == 1.0;
    }
    bool ok = false;
    const double value = intSavePath.toDouble(&ok);
    return ok && value == 1.0;
}

long leadingNumber(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) {
        bool ok = false;
        const long number = static_cast<long>(value.toLongLong(&ok));
        return ok ? number : 0;
    }
    static const QRegularExpression leading(QStringLiteral("^\\s*([+-]?\\d+)"));
    const QRegularExpressionMatch match = leading.match(value.toString());
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const long number = match.captured(1).toLong(&ok);
    return ok ? number : 0;
}
