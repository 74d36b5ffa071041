// Log literals and dialog texts of the form's buttons, drops and folder
// batches, and of the command line. Each line is a literal followed directly
// by its value.
#pragma once

#include "Direction.h"
#include "NativePath.h"

#include <QString>

namespace vaultine {

namespace actionlines {

// Written only once the new content and its name are on disk.
inline const DirectedText kOutput{QStringLiteral("加密文件已输出到:"), QStringLiteral("解密文件已输出到:")};

// Folder walk.
inline const QString kFileFound = QStringLiteral("file: ");
inline const QString kDirFound = QStringLiteral("dir: ");
inline const QString kFolderWalkedAlready = QStringLiteral("文件夹已遍历过或指向上级文件夹，跳过：");
inline const QString kLinkLeadsOutside = QStringLiteral("链接指向拖入的文件夹之外，跳过：");
inline const QString kEntryUnreachable = QStringLiteral("无法访问，跳过：");
inline const QString kFolderHoldsNoFile = QStringLiteral("文件夹中没有文件：");
// Temporary files of interrupted rewrites, met by a batch: removed where
// they can only be redundant (the rewrite never reached its rename), else
// kept and named.
inline const QString kLeftoverRemoved = QStringLiteral("已删除中断的加解密留下的临时文件（原文件未被改动）：");
inline const QString kLeftoverInUse = QStringLiteral("临时文件正被另一个加解密过程使用，未删除：");
inline const QString kLeftoverMayBeOnlyCopy =
    QStringLiteral("中断的加解密留下的临时文件可能是文件内容唯一的副本，未删除，请检查：");
inline const QString kLeftoverNotRemoved = QStringLiteral("无法删除中断的加解密留下的临时文件（可能含有明文）：");
// What the command line's status reports of one.
inline const QString kLeftoverFound = QStringLiteral("中断的加解密留下的临时文件（可能含有明文）：");

// Folder batch.
inline const DirectedText kStart{QStringLiteral("开始加密"), QStringLiteral("开始解密")};
inline const QString kSkipPrefix = QStringLiteral("文件:");
// After the skip prefix and the path: the file is already as the batch makes
// files.
inline const DirectedText kAlreadyInState{QStringLiteral("已经加密，不再加密"), QStringLiteral("已经未加密，不再解密")};
inline const QString kNotRegularFile = QStringLiteral("文件已不存在或不是普通文件，跳过：");
inline const QString kUnreadableFile = QStringLiteral("文件无法读取，跳过：");
// The process held as many files open as it may, even with nothing else of
// the batch open: not a property of the file.
inline const QString kTooManyOpenFiles = QStringLiteral("打开的文件数已达到系统允许的上限，文件未处理：");
inline const QString kSwappedAfterWalk = QStringLiteral("文件或其所在文件夹在遍历后被替换，跳过：");

// Batch summary, completed or cancelled: handled, skipped, failed (and left).
inline const DirectedText kBatchDone{QStringLiteral("批量加密完成：加密%1个，跳过%2个，失败%3个"),
                                     QStringLiteral("批量解密完成：解密%1个，跳过%2个，失败%3个")};
inline const DirectedText kBatchCancelled{QStringLiteral("批量加密已取消：加密%1个，跳过%2个，失败%3个，未处理%4个"),
                                          QStringLiteral("批量解密已取消：解密%1个，跳过%2个，失败%3个，未处理%4个")};
// Appended to a summary with failures: the first of them by name, so that
// they outlive the log pane's oldest lines.
inline const QString kFailedFilesNamed = QStringLiteral("。失败的文件：");
inline const QString kFailedFileSeparator = QStringLiteral("、");
inline const QString kMoreFailedFiles = QStringLiteral("，另有%1个");
// Appended, then, when leftovers of interrupted rewrites stay in the folder.
inline const QString kLeftoversNamed = QStringLiteral("。留下的临时文件（可能含有明文）：");
// Before the summary, when the walked folders hold hidden entries: how many,
// then the first of them within the dropped folder, then "…" if there are
// more. Left as they are, like any hidden entry.
inline const QString kHiddenLeft = QStringLiteral("隐藏的文件和文件夹未处理：%1个（%2）");
inline const QString kMoreHidden = QStringLiteral("、…");

// A dropped file's text was longer than the text area is given.
inline const QString kShownTextCut = QStringLiteral("文件超过1MiB，文本区只显示开头1MiB：");

// A drop that asks for a direction this form does not know: nothing of it
// is handled.
inline const QString kUnknownDropDirection = QStringLiteral("拖放要求的加解密方向无法识别，未处理：");

// A drop or button press that arrived while a batch pumps events.
inline const QString kIgnoredDuringBatch = QStringLiteral("正在批量处理，忽略：");
// The same while a single file is encrypted or decrypted.
inline const QString kIgnoredDuringFile = QStringLiteral("正在处理文件，忽略：");

// Progress dialog, and the command line's progress line.
inline const QString kProgressTitle = QStringLiteral("加解密进度对话框");
inline const DirectedText kProgress{QStringLiteral("加密进度"), QStringLiteral("解密进度")};
inline const QString kCancel = QStringLiteral("取消");
// A single file that takes long: its name, then bytes done of all.
inline const DirectedText kFileProgress{QStringLiteral("正在加密：%1\n%2 / %3"),
                                        QStringLiteral("正在解密：%1\n%2 / %3")};

// "…已输出到:" and the path.
inline QString outputLine(Direction direction, const QString &path)
{
    return kOutput[direction] + nativePath(path);
}

// "文件:", the path, and why it is left alone.
inline QString alreadyInStateLine(Direction direction, const QString &path)
{
    return kSkipPrefix + nativePath(path) + kAlreadyInState[direction];
}

} // namespace actionlines

} // namespace vaultine
