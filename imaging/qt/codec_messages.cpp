#include "codec_messages.h"

#include <QtGlobal>

#include <tiffio.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace imaging::qt {
namespace {

thread_local CodecMessages* t_innermost = nullptr;

std::mutex g_mutex;
int g_scopes = 0; // open scopes on all threads
// Written under g_mutex, read by handlers on any thread.
std::atomic<QtMessageHandler> g_previousQt{nullptr};
std::atomic<TIFFErrorHandler> g_previousTiffWarning{nullptr};
std::atomic<TIFFErrorHandler> g_previousTiffError{nullptr};

void ForwardQt(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (const QtMessageHandler previous = g_previousQt.load())
        previous(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && CodecMessages::collect(message)) return;
    ForwardQt(type, context, message);
}

QString Format(const char* module, const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    return module ? QStringLiteral("%1: %2").arg(QString::fromUtf8(module), QString::fromUtf8(text))
                  : QString::fromUtf8(text);
}

void OnTiff(TIFFErrorHandler previous, const char* module, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const bool collected = CodecMessages::collect(Format(module, format, copy));
    va_end(copy);
    if (!collected && previous) previous(module, format, args);
}

void OnTiffWarning(const char* module, const char* format, va_list args)
{
    OnTiff(g_previousTiffWarning.load(), module, format, args);
}

void OnTiffError(const char* module, const char* format, va_list args)
{
    OnTiff(g_previousTiffError.load(), module, format, args);
}

} // namespace

bool CodecMessages::collect(const QString& message)
{
    if (!t_innermost) return false;
    t_innermost->messages_.append(message);
    return true;
}

CodecMessages::CodecMessages() : outer_(t_innermost)
{
    {
        std::lock_guard lock(g_mutex);
        if (g_scopes++ == 0) {
            g_previousQt = qInstallMessageHandler(OnQtMessage);
            g_previousTiffWarning = TIFFSetWarningHandler(OnTiffWarning);
            g_previousTiffError = TIFFSetErrorHandler(OnTiffError);
        }
    }
    t_innermost = this;
}

CodecMessages::~CodecMessages()
{
    t_innermost = outer_;
    std::lock_guard lock(g_mutex);
    if (--g_scopes == 0) {
        qInstallMessageHandler(g_previousQt.load());
        TIFFSetWarningHandler(g_previousTiffWarning.load());
        TIFFSetErrorHandler(g_previousTiffError.load());
    }
}

QString CodecMessages::damage() const
{
    for (const QString& message : messages_) {
        if (message.contains(QLatin1String("Premature end"), Qt::CaseInsensitive)
            || message.contains(QLatin1String("truncat"), Qt::CaseInsensitive)
            || message.contains(QLatin1String("corrupt"), Qt::CaseInsensitive))
            return message;
    }
    return {};
}

} // namespace imaging::qt
