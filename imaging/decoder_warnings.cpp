#include "decoder_warnings.h"

#include <QtGlobal>

#include <cstdio>
#include <mutex>

namespace mGdip::detail {

void CollectMessage(const QString& message);

namespace {

thread_local DecoderWarnings* t_active = nullptr;
QtMessageHandler g_previous = nullptr;

void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (t_active && type == QtWarningMsg) {
        CollectMessage(message);
        return;
    }
    if (g_previous) {
        g_previous(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

} // namespace

void CollectMessage(const QString& message) { t_active->messages_.append(message); }

DecoderWarnings::DecoderWarnings() : outer_(t_active)
{
    static std::once_flag installed;
    std::call_once(installed, [] { g_previous = qInstallMessageHandler(Handler); });
    t_active = this;
}

DecoderWarnings::~DecoderWarnings() { t_active = outer_; }

QString DecoderWarnings::damage() const
{
    for (const QString& message : messages_) {
        // libjpeg fills missing data with grey and only warns; "extraneous
        // bytes" is harmless padding that many cameras write.
        const bool jpegDamage = message.startsWith(QLatin1String("Corrupt JPEG data"))
                             && !message.contains(QLatin1String("extraneous bytes"));
        if (jpegDamage || message.contains(QLatin1String("Premature end"), Qt::CaseInsensitive)
            || message.contains(QLatin1String("truncat"), Qt::CaseInsensitive))
            return message;
    }
    return {};
}

} // namespace mGdip::detail
