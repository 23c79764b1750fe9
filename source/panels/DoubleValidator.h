// Validator of the panels' number fields: a decimal number with an optional exponent.
// A comma counts as the decimal point ("1,5" is 1.5), surrounding blanks are dropped, and
// with a lower bound of 0 or more leading minus signs are dropped ("-2" becomes "2").
#pragma once

#include <QRegExpValidator>

class DoubleValidator : public QRegExpValidator {
    Q_OBJECT

  public:
    explicit DoubleValidator(double lowerBound, QObject* parent = nullptr);

    double lowerBound() const { return lowerBound_; }
    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

    // The number a field holds after validation (0 when it holds none).
    static double value(const QString& text);

  private:
    double lowerBound_;
};
