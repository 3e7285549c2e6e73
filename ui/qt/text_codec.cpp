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

}  // namespace vantrel::ui::qt
