#include "failure_reasons.h"

#include "imaging/mgdip.h"

namespace app {
namespace {

// The largest image that can be opened, as a Chinese reader counts pixels:
// in units of 10^8 (亿).
QString PixelLimit()
{
    return QString::number(static_cast<double>(mGdip::kMaxImagePixels) / 1e8, 'f', 2) + QStringLiteral(" 亿像素");
}

} // namespace

QString OpenFailureReason(mGdip::ImagingStatus status)
{
    using mGdip::ImagingStatus;
    switch (status) {
    case ImagingStatus::FileNotFound: return QStringLiteral("文件不存在。");
    case ImagingStatus::InvalidParameter: return QStringLiteral("这是一个文件夹，不是图像文件。");
    case ImagingStatus::AccessDenied: return QStringLiteral("无法读取该文件（没有读取权限，或文件正被占用）。");
    case ImagingStatus::UnknownImageFormat: return QStringLiteral("文件为空，或不是可以读取的图像格式。");
    case ImagingStatus::ValueOverflow: return QStringLiteral("图像过大，最多能打开约 %1。").arg(PixelLimit());
    case ImagingStatus::OutOfMemory: return QStringLiteral("内存不足，无法打开该图像。");
    case ImagingStatus::NotInitialized: return QStringLiteral("图像服务尚未启动。");
    default: return QStringLiteral("图像数据已损坏或不完整。");
    }
}

QString SaveFailureReason(mGdip::ImagingStatus status)
{
    using mGdip::ImagingStatus;
    switch (status) {
    case ImagingStatus::AccessDenied: return QStringLiteral("无法创建该文件（没有写入权限，或有同名的文件夹）。");
    case ImagingStatus::OutOfMemory: return QStringLiteral("内存不足，无法编码该图像。");
    case ImagingStatus::NotImplemented: return QStringLiteral("没有可用的 PNG 编码器。");
    case ImagingStatus::NotInitialized: return QStringLiteral("图像服务尚未启动。");
    case ImagingStatus::InvalidParameter: return QStringLiteral("没有可保存的图像或文件名。");
    default: return QStringLiteral("写入文件时出错（例如磁盘已满，或文件夹已被移走）。");
    }
}

} // namespace app
