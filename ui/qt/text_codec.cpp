#include "ui/qt/text_codec.h"

#include <QFile>
#include <QStringDecoder>

namespace vantrel::ui::qt {

QString FromText(const std::string& text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!utf8.hasError()) return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToText(const QString& text) { return QFile::encodeName(text).toStdString(); }

std::filesystem::path ToPath(const QString& text) { return ToText(text); }

QString FromPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

}  // namespace vantrel::ui::qt
