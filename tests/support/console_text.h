// What adpack prints, written as UTF-8 text with line feeds; console_bytes()
// turns each into the exact bytes expected on the stream.
#ifndef ADPACK_TESTS_SUPPORT_CONSOLE_TEXT_H
#define ADPACK_TESTS_SUPPORT_CONSOLE_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace adpack_test::text {

// Standard output.
inline constexpr std::string_view kBanner =
    "adpack 1.00β for Win32 Copyright (C) 2026 the adpack project\n\n";
inline constexpr std::string_view kUsage =
    "書式 : adpack <PDL Filename>\n\n"
    "機能 : <PDL Filename> で指定された PDL ファイルを読み込んで\n"
    "       pdx ファイルを生成します。\n\n"
    "       <PDL Filename> の拡張子のデフォルトは [.PDL] で、\n"
    "       拡張子を pdx に置き換えた pdx ファイルが生成されます。\n\n"
    "例　 : adpack bos.pdl\n\n";
inline constexpr std::string_view kNotOverwritten =
    "上書きしないで終了します。\n";
inline constexpr std::string_view kDone = "done.\n";
inline std::string prefix(std::string_view name) {
  return "`" + std::string(name) + "'\t\t\t: ";
}

// Standard error.
inline constexpr std::string_view kAfterAnswer = "\n\n";
inline constexpr std::string_view kNoMemory =
    "\n必要なメモリの確保ができません。\n";
inline constexpr std::string_view kCloseFailed =
    "ファイルがクローズできません。\n\n";
inline constexpr std::string_view kWriteFailed =
    "\nファイルの書き込みに失敗しました。\n";
inline constexpr std::string_view kSeekFailed =
    "ファイルのシークに失敗しました。\n";
inline constexpr std::string_view kReadFailed =
    "\nファイルのアクセスに失敗しました。\n";
inline constexpr std::string_view kFinished = "\n終了しました。\n";
inline constexpr std::string_view kDiskFull = "ディスクが一杯です。\n";
inline std::string overwrite_prompt(std::string_view name) {
  return "`" + std::string(name) +
         "' は既に存在しています。\n上書きしてもよろしいですか？ [Y / Other] ";
}
inline std::string open_failed(std::string_view name) {
  return "`" + std::string(name) + "' がオープンできません。\n";
}
inline std::string not_found(std::string_view name) {
  return std::string(name) + " が見つかりません。\n";
}
inline std::string list_is_bank(std::string_view bank) {
  return "`" + std::string(bank) +
         "' は PDL ファイルそのものなので、PDX "
         "ファイルとして書き込めません。\n";
}
inline std::string slot_out_of_range(std::string_view name, std::int32_t slot) {
  return "`" + std::string(name) + "' のスロット番号 " + std::to_string(slot) +
         " は範囲外です (0 から 95 まで)。\n";
}
inline std::string sample_is_bank(std::string_view name) {
  return "`" + std::string(name) +
         "' は書き込み中の PDX "
         "ファイルそのものなので、サンプルとして読み込めません。\n";
}
inline std::string bank_in_use(std::string_view bank) {
  return "`" + std::string(bank) + "' は他の adpack が書き込み中です。\n";
}
inline std::string sample_too_large(std::string_view name) {
  return "`" + std::string(name) +
         "' は大きすぎて PDX ファイルに収まりません。\n";
}

}  // namespace adpack_test::text

#endif
