#include "panels/DoubleValidator.h"

#include <QRegExp>
#include <algorithm>
#include <cmath>

DoubleValidator::DoubleValidator(double lowerBound, QObject* parent)
    : QRegExpValidator(QRegExp("[-+]?[0-9]*[\\.]?[0-9]+([eE][-+]?[0-9]+)?"), parent),
      lowerBound_(lowerBound) {}

QString DoubleValidator::cleaned(const QString& input) const {
    QString text = input.trimmed();
    text.replace(',', '.');
    if (lowerBound_ >= 0) text.remove(QRegExp("^[-]*"));
    return text;
}

QValidator::State DoubleValidator::validate(QString& input, int& pos) const {
    const QString text = cleaned(input);
    if (text != input) {
        pos = std::max(0, pos - (input.size() - text.size()));
        input = text;
    }
    return QRegExpValidator::validate(input, pos);
}

void DoubleValidator::fixup(QString& input) const {
    input = cleaned(input);
}

bool DoubleValidator::toNumber(const QString& text, double& value) {
    bool ok = false;
    value = QString(text).trimmed().replace(',', '.').toDouble(&ok);
    return ok && std::isfinite(value);
}
