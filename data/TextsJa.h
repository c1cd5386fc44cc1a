// Every Japanese text the program shows: its messages, questions, captions and the words of its
// controls, grouped by where they show. The engine, the command line and both windows take them
// from here, so each is written once. Formats the files fix (the INI file's section and key, the
// CSV file's header, the log's banner and time stamps, the meter's date text) stay with the code
// that writes them, and reasons worded with what was found stay with the code that found it.
// The texts are the system's own, byte for byte: half-width katakana stay half-width.
#pragma once

#include <string>

namespace odomei {

// ---- The main window -----------------------------------------------------------------------

// Its buttons and the version control (the template's captions).
inline constexpr const char* kExitText = "終了";
inline constexpr const char* kReadText = "読み出し";
inline constexpr const char* kSaveCsvText = "CSVﾌｧｲﾙ保存";
inline constexpr const char* kClearText = "クリア";
inline constexpr const char* kVersionText = "バージョン表示";

// The record list's columns (the command line's tables use the same captions).
inline constexpr const char* kColumnCaptions[] = {
    "No", "日付", "走行距離[km]", "消費燃料[L]", "補正値[%]", "実給油量[L]", "測定誤差[%]"};
// After an economy unit: worked out from the refuel, and as the meter measured it.
inline constexpr const char* kByRefuelSuffix = "(実)";
inline constexpr const char* kByMeterSuffix = "(計)";

// The window menu's entries.
inline constexpr const char* kAboutMenuText = "Korvana のﾊﾞｰｼﾞｮﾝ情報(&A)...";
inline constexpr const char* kCloseMenuText = "閉じる(&C)\tAlt+F4";
inline constexpr const char* kHistoryMenuText = "履歴(&H)...";
inline constexpr const char* kPortSettingsMenuText = "ポート設定(&P)...";

// The About box.
inline constexpr const char* kAboutCaption = "Korvanaのﾊﾞｰｼﾞｮﾝ情報";
inline constexpr const char* kAboutNotice = "燃費計の計測データ読み出しツール";

// Questions and notices.
inline constexpr const char* kAskExit = "終了します。よろしいですか？";
inline constexpr const char* kNothingToClear = "クリアする情報がありません";
inline constexpr const char* kAskClear = "読み出したデータをクリアします。よろしいですか？";
inline constexpr const char* kAskRead = "計測データの読込を開始します。よろしいですか？";
inline constexpr const char* kNothingToSave = "保存する情報がありません";

// The save-as dialog for the list, and what follows a save.
inline constexpr const char* kCsvTypeDescription = "CSV(ｶﾝﾏ区切り)";
// "<name>" saved: the bare file name, without its folder.
inline std::string SavedText(const std::string& fileName) {
    return "\"" + fileName + "\"を保存しました。";
}
inline constexpr const char* kCsvOpenFailedText = "ファイルオープンに失敗しました";
inline constexpr const char* kCsvWriteFailedText = "ファイルの書き込みに失敗しました";

// A message box's buttons where the toolkit has to be told them (Windows draws its own).
inline constexpr const char* kYesButtonText = "はい(&Y)";
inline constexpr const char* kNoButtonText = "いいえ(&N)";
inline constexpr const char* kCancelText = "キャンセル";

// ---- A read --------------------------------------------------------------------------------

// The port cannot be opened; port is what the user configured ("COM12", or a device path).
inline std::string PortFailureText(const std::string& port) {
    return "通信ポートの初期化に失敗しました。環境を確認して再起動して下さい(" + port +
           ")\n通信ポートを変更する場合はINIファイルを編集して下さい";
}
// The exchange failed: at which step.
inline constexpr const char* kStxFailedText = "コマンド送信処理でエラーが発生しました(STX)";
inline constexpr const char* kTimedOutText = "コマンド受信処理でエラーが発生しました(タイムアウト)";
inline constexpr const char* kNakFailedText = "コマンド送信処理でエラーが発生しました(NAK)";
inline constexpr const char* kBccErrorText = "ＢＣＣエラーが発生しました";
inline constexpr const char* kAckFailedText = "コマンド送信処理でエラーが発生しました(ACK)";
// The block held no record.
inline constexpr const char* kNoValidDataText =
    "計測データを受信しましたが、有効なデータが有りませんでした";

// The working directory cannot be determined.
inline constexpr const char* kNoWorkingFolderText =
    "作業フォルダを取得できませんでした。INIファイルと通信ログを使わずに続けます";

// The communication log cannot be opened, dated or written.
inline constexpr const char* kCommLogOpenErrorText =
    "通信ログ処理時にエラーが発生しました\n\nファイルオープンエラー";
inline constexpr const char* kCommLogTimeErrorText =
    "通信ログ処理時にエラーが発生しました\n\nファイル時刻取得エラー";
inline constexpr const char* kCommLogWriteErrorText =
    "通信ログ処理時にエラーが発生しました\n\n例外エラー";

// ---- The logbook ---------------------------------------------------------------------------

// It cannot take a read, or cannot be opened to look at.
inline constexpr const char* kLogbookWriteFailedText =
    "計測データを履歴に記録できませんでした。読み出したデータはそのまま表示されます";
// It cannot take an import (nothing was read from a meter).
inline constexpr const char* kLogbookImportFailedText = "CSVファイルを履歴に取り込めませんでした";
inline constexpr const char* kLogbookOpenFailedText = "履歴ファイルを開けませんでした";
// Another logbook cannot be merged in as a vehicle.
inline constexpr const char* kLogbookMergeFailedText = "別の履歴ファイルを取り込めませんでした";
// Said once after a read that shows refuels may have been lost since the last.
inline constexpr const char* kLogbookGapText =
    "前回の読み出しから今回までの間の計測データが失われた可能性があります。燃費計には最新の15件"
    "の記録しか残らないため、15回給油するまでに読み出してください";

// ---- Vehicles: the cars a logbook keeps apart ----------------------------------------------

// A new logbook's first vehicle, and the one all records of an older logbook become.
inline constexpr const char* kFirstVehicleNameJa = "車両1";
// The main window's button, the window menu's entry and the dialog's caption.
inline constexpr const char* kVehiclesText = "車両";
inline constexpr const char* kVehicleMenuText = "車両の選択(&V)...";
// Beside the version text: the vehicle reads are kept with ("車両: 車両1").
inline std::string VehicleShownText(const std::string& name) { return "車両: " + name; }
// The dialog: its list's columns, buttons and prompts.
inline constexpr const char* kVehicleColumns[] = {"名前",       "メモ",       "件数",
                                                  "最初の記録", "最後の記録", "最終読み出し"};
inline constexpr const char* kVehicleChooseText = "選択";
inline constexpr const char* kVehicleAddText = "追加...";
inline constexpr const char* kVehicleRenameText = "変更...";
inline constexpr const char* kVehicleRemoveText = "削除";
inline constexpr const char* kVehicleCloseText = "閉じる";
inline constexpr const char* kVehicleManagePrompt = "読み出した記録を保存する車両を選んでください";
// Asked after a read: the button that keeps it with the vehicle chosen, and the one that keeps it
// nowhere.
inline constexpr const char* kVehicleKeepHereText = "この車両に保存";
inline constexpr const char* kVehicleKeepNowhereText = "保存しない";
// The name-and-note dialog.
inline constexpr const char* kVehicleAddCaption = "車両の追加";
inline constexpr const char* kVehicleEditCaption = "車両の変更";
inline constexpr const char* kVehicleNameLabel = "名前:";
inline constexpr const char* kVehicleNoteLabel = "メモ:";
inline constexpr const char* kVehicleNameProblemText = "この名前は車両の名前にできません";
inline constexpr const char* kVehicleNameTakenText = "同じ名前の車両がすでにあります";
inline constexpr const char* kVehicleNotSavedText = "車両の変更を履歴に保存できませんでした";
// The selection could not be written to KORVANA.ini.
inline constexpr const char* kVehicleNotKeptText =
    "車両の選択をINIファイルに保存できませんでした。次回の起動時は元の車両になります";
inline std::string AskRemoveVehicleText(const std::string& name, long long records) {
    return "車両「" + name + "」とその記録" + std::to_string(records) +
           "件を履歴から削除しますか？\n削除した記録は元に戻せません";
}
inline constexpr const char* kLastVehicleText = "最後の車両は削除できません。名前は変更できます";
// A read that is not the selected vehicle's, and what becomes of it.
inline std::string NotThisVehicleText(const std::string& name) {
    return "読み出した記録は車両「" + name +
           "」のものではないようです。\nどの車両の記録か選んでください（新しい車両も追加できます）";
}
inline std::string SeveralVehiclesText(const std::string& names) {
    return "読み出した記録は複数の車両（" + names +
           "）の記録と重なっています。\n新しい記録を保存する車両を選んでください";
}
// Yes: kept with the vehicle it overlaps; No: the meter was moved to the selected one; Cancel:
// kept nowhere.
inline std::string AskOtherVehicleText(const std::string& other, const std::string& selected) {
    return "読み出した記録は車両「" + other + "」の記録と重なっています。\n\n" + "はい: 車両「" +
           other + "」に保存します\nいいえ: メーターを車両「" + selected +
           "」に付け替えました（新しい記録を「" + selected + "」に保存します）\n" +
           "キャンセル: 保存しません";
}
inline constexpr const char* kKeptNowhereText =
    "読み出した記録は履歴に保存しませんでした。表示中の記録はCSVファイルに保存できます";
inline std::string KeptWithText(const std::string& name) {
    return "読み出した記録を車両「" + name + "」の履歴に保存しました";
}
// The history window's selector.
inline constexpr const char* kHistoryVehicleLabel = "車両:";

// ---- The history window (its title is the main window's button) ------------------------------

inline constexpr const char* kHistoryTitle = "履歴";
inline constexpr const char* kNoRecordsYetText = "履歴にはまだ記録がありません";
// The row between two records where refuels may have been lost, and what the summary says of
// such rows.
inline constexpr const char* kGapMarkerText = "～欠落～";
inline constexpr const char* kGapSummaryText =
    "燃費計に残る記録は最新の15件までのため、この間の計測データが失われた可能性があります";
// The controls beside its table.
inline constexpr const char* kHistoryRangeText = "期間指定";  // a range of dates, not every record
inline constexpr const char* kHistoryRangeSeparator = "～";
inline constexpr const char* kHistoryUnitsText = "燃費の単位";
inline constexpr const char* kHistoryCloseText = "閉じる";

// Its charts.
inline constexpr const char* kEconomyChartTitle = "給油ごとの燃費";
inline constexpr const char* kErrorChartTitle = "給油ごとの測定誤差と補正値 [%]";
inline constexpr const char* kEconomySeriesText = "実給油量から";
inline constexpr const char* kMeterSeriesText = "燃費計から";
inline constexpr const char* kErrorSeriesText = "測定誤差";
inline constexpr const char* kFactorSeriesText = "補正値";
inline constexpr const char* kNoChartDataText = "表示できる記録がありません";
inline constexpr const char* kSaveChartText = "ｸﾞﾗﾌ保存";
inline constexpr const char* kChartTypeDescription = "SVG画像";

// What a refuel cost and the odometer: the table's last three columns, in the vehicle's currency
// ("単価(JPY/L)", "金額(JPY)").
inline std::string PricePerLitreCaption(const std::string& currency) {
    return "単価(" + currency + "/L)";
}
inline std::string CostCaption(const std::string& currency) { return "金額(" + currency + ")"; }
inline constexpr const char* kOdometerCaption = "総走行距離(km)";
// A text typed into those columns that cannot be stored; the old value stays.
inline constexpr const char* kPriceProblemText = "入力した値は価格にできません。元の値のままです";
inline constexpr const char* kOdometerProblemText =
    "入力した値は総走行距離にできません。元の値のままです";
inline constexpr const char* kHistoryEditFailedText =
    "入力した値を履歴に保存できませんでした。元の値のままです";
// The summary's line of costs: the total, per km, per month (over months), the average price of
// a litre, and over how many of the records shown.
inline std::string CostSummaryText(const std::string& total, const std::string& perKm,
                                   const std::string& perMonth, int months,
                                   const std::string& perLitre, const std::string& currency,
                                   int priced, int records) {
    return "費用 " + total + " " + currency + "（1 km あたり " + perKm + " " + currency +
           "、1 か月あたり " + perMonth + " " + currency + "（" + std::to_string(months) +
           " か月）、平均単価 " + perLitre + " " + currency + "/L）: 価格のある記録 " +
           std::to_string(priced) + " 件から（全 " + std::to_string(records) + " 件）";
}
inline std::string NoPriceYetText(const std::string& currency) {
    return "費用: 価格の入った記録がまだありません。表の" + PricePerLitreCaption(currency) + "か" +
           CostCaption(currency) + "の欄をダブルクリックして入力してください";
}
// Records after a gap whose odometer no reading in their stretch gives.
inline std::string OdometerUnknownText(int records) {
    return std::string(kOdometerCaption) + ": ～欠落～の後の記録 " + std::to_string(records) +
           " 件は不明です。その期間のどれか1件の" + kOdometerCaption +
           "の欄をダブルクリックして、給油したときの値を入力してください";
}
// The export for a fuel app: its button, the save dialog's types ("LubeLogger用CSV"), and what
// it says when no refuel shown has what the app needs (nothing is written).
inline constexpr const char* kExportForAppText = "ｱﾌﾟﾘ用に保存";
inline std::string AppTypeDescription(const std::string& app) { return app + "用CSV"; }
inline std::string NothingForAppText(const std::string& app) {
    return app + "に保存できる給油の記録がありません。ファイルは作成しませんでした";
}

// ---- The port chooser (its caption is the main window's button) ------------------------------

inline constexpr const char* kPortDlgCaption = "ポート設定";
inline constexpr const char* kPortRefreshText = "再検索";
inline constexpr const char* kPortFindText = "メーターを探す";
inline constexpr const char* kPortHardwareText = "内蔵ポートも探す";

// The list's columns, in order.
inline constexpr const char* kPortColumns[] = {"ポート",  "デバイス",     "説明",
                                               "VID:PID", "シリアル番号", "状態"};
// A port's state in the list; in use, with the holder where it is known.
inline constexpr const char* kPortFreeText = "使用可";
inline constexpr const char* kPortInUseText = "使用中";
inline constexpr const char* kPortNoPermissionText = "権限なし";
inline constexpr const char* kPortMissingText = "見つかりません";
inline constexpr const char* kPortConsoleText = "コンソール";
inline constexpr const char* kPortOtherDeviceText = "他の機器";
inline constexpr const char* kPortFailedText = "ドライバーエラー";
inline constexpr const char* kPortNotSerialText = "ポートではありません";
// What the state of the port the setting in use leads to ends with.
inline constexpr const char* kPortCurrentMark = " ・現在の設定";

// Messages.
inline constexpr const char* kPortNotChoosableText = "このポートは選択できません";
inline constexpr const char* kPortNotKeptText =
    "ポートの設定をINIファイルに保存できませんでした。次回の起動時は元の設定になります";
inline constexpr const char* kNoSearchPortText =
    "メーターを探せるポートがありません。\nUSBシリアル変換ケーブルの接続を確認して下さい";
inline constexpr const char* kMeterNotFoundText =
    "メーターが見つかりませんでした。\nケーブルの接続とメーターの電源を確認して下さい";
// The meter answered on port ("COM3"): the setting's own port, or another one.
inline std::string MeterFoundText(const std::string& port) {
    return port + "でメーターが見つかりました";
}
inline std::string AskUseFoundPortText(const std::string& port) {
    return port + "でメーターが見つかりました。\nポートの設定を" + port + "に変更しますか？";
}
// The search's step: "COM3 を確認しています…".
inline std::string SearchingText(const std::string& port) { return port + "を確認しています…"; }

}  // namespace odomei
