// Helpers of the window tests: a temporary folder, small files of every format, a
// recorder of the message boxes and questions the shell would have shown, and the folder
// for pictures a person looks at.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QImage>
#include <QMap>
#include <QMessageBox>
#include <QRect>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "UiHooks.h"
#include "alg3D/matrix/GLPoint.h"

// Failure messages show texts as text rather than as code units.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace guitest {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tessaro-gui-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (fs::path(path_) / name).string(); }
    QString qfile(const std::string& name) const { return QString::fromStdString(file(name)); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A binary profile file with one profile of one segment holding the points.
inline void writePsl(const std::string& path, const std::vector<alg3D::Vec3d>& points) {
    std::vector<unsigned char> bytes(512 + 64 + 64, 0);
    const std::int32_t one = 1, n = static_cast<std::int32_t>(points.size());
    std::memcpy(&bytes[136], &one, 4);
    std::memcpy(&bytes[512], &one, 4);
    std::memcpy(&bytes[576], &n, 4);
    for (const auto& p : points) {
        const float v[3] = {float(p.x), float(p.y), float(p.z)};
        const auto* b = reinterpret_cast<const unsigned char*>(v);
        bytes.insert(bytes.end(), b, b + 12);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A scan data file in the plain binary layout ("SCNBIN", version 2) with one point list
// and no other records; every field little-endian.
inline void writeScnbin(const std::string& path, const std::vector<alg3D::Vec3d>& points) {
    std::vector<unsigned char> bytes;
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFFu));
    };
    auto f64 = [&](double d) {
        const auto* b = reinterpret_cast<const unsigned char*>(&d);
        bytes.insert(bytes.end(), b, b + 8);
    };
    const std::string signature = "SCNBIN";
    bytes.insert(bytes.end(), signature.begin(), signature.end());
    bytes.push_back(2);  // version
    u32(0x10203040u);    // mark
    u32(0);              // scan value
    u32(0);              // info strings
    u32(0);              // named entries
    u32(0);              // fixed records
    u32(1);              // point lists
    u32(static_cast<std::uint32_t>(points.size()));
    for (const auto& p : points) {
        f64(p.x);
        f64(p.y);
        f64(p.z);
    }
    u32(0);  // value lists
    u32(0);  // positions
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A file under build/test-artifacts/, where tests leave pictures for a person to look at.
inline QString artifactPath(const QString& name) {
    const QString folder = QString(TESSARO_BINARY_DIR) + "/test-artifacts";
    QDir().mkpath(folder);
    return folder + "/" + name;
}

struct Message {
    QMessageBox::Icon icon;
    QString title, text;
};

// Installs hooks for the test's lifetime: messages are recorded, questions answered with
// `answer`, the save dialog returns `saveName`; the file dialogs' start folders and filters
// are recorded.
class DialogRecorder {
  public:
    DialogRecorder() {
        ui::hooks().message = [this](QMessageBox::Icon icon, const QString& title,
                                     const QString& text) {
            messages.push_back({icon, title, text});
        };
        ui::hooks().question = [this](const QString& title, const QString& text) {
            questions.push_back({QMessageBox::Question, title, text});
            return answer;
        };
        ui::hooks().saveFileName = [this](const QString&, const QString& dir,
                                          const QString& filter) {
            saveDirs << dir;
            saveFilters << filter;
            return saveName;
        };
        ui::hooks().openFileNames = [this](const QString&, const QString& dir,
                                           const QString& filter) {
            openDirs << dir;
            openFilters << filter;
            return QStringList();
        };
    }
    ~DialogRecorder() { ui::hooks() = ui::Hooks(); }

    std::vector<Message> messages, questions;
    bool answer = true;
    QString saveName;
    QStringList saveDirs, saveFilters, openDirs, openFilters;
};

// WCAG contrast ratio of two colours (1 to 21).
inline double contrastRatio(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of text drawn in `area` of a rendered widget: the most frequent colour
// is the background, the colour that differs most from it the text's (the inside of
// the glyphs, where anti-aliasing does not blend).
inline double textContrast(const QImage& image, const QRect& area) {
    QMap<QRgb, int> counts;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[image.pixel(x, y) | 0xFF000000u];
    if (counts.isEmpty()) return 0.0;
    QRgb background = counts.firstKey();
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() > counts[background]) background = it.key();
    double best = 1.0;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        best = std::max(best, contrastRatio(QColor(background), QColor(it.key())));
    return best;
}

}  // namespace guitest
