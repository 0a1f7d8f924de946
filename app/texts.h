#pragma once
// The texts of the window's controls.

#include <QString>

namespace app::texts {

inline const QString kCaption = QStringLiteral("Chromobrisk");
inline const QString kSourceHeading = QStringLiteral("预处理图像");
inline const QString kResultHeading = QStringLiteral("已处理图像");
inline const QString kInstructions = QStringLiteral(
    "使用方法：将要处理的图像拖进黑色相框。去底仅需从图像中单击选出要处理的颜色，若要改色还需选择转换颜色。"
    "容差决定了去杂点以及替换的颜色范围。");
inline const QString kKeyColorLabel = QStringLiteral("处理颜色：");
inline const QString kToleranceLabel = QStringLiteral("容差：");
inline const QString kReplacementLabel = QStringLiteral("转换颜色：");
inline const QString kPickFromImage = QStringLiteral("从图像选取");
inline const QString kPickFromPalette = QStringLiteral("从调色板选取");
inline const QString kSave = QStringLiteral("保存图像到SAVE文件夹");
inline const QString kSimpleRemoval = QStringLiteral("简单去底");
inline const QString kAlphaRestoringRemoval = QStringLiteral("透明通道还原性去底");
inline const QString kColorReplacement = QStringLiteral("颜色替换");
inline const QString kCredit = QStringLiteral("色刷工作室"); // "Colour-brush studio"

} // namespace app::texts
