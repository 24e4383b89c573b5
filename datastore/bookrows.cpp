// Book row operations.
#include "bookrows.h"

#include <strsafe.h>

#include "datastore.h"
#include "sqlexec.h"
#include "textutil.h"

namespace {

const WCHAR kBlankColumns[] =
    L"UPDATE VLS SET C1='',C2='0',C3='',C4='',C5='',C6='',C7='',C8='',C9='',C10='',C11='' ";

}  // namespace

int CancelFollowUpByRowId(int rowId) {
    WCHAR statement[kTextChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"UPDATE VLS SET C7 = 'NULL' WHERE rowid = %d",
                     rowId);
    return ExecInTransaction(&RemarkDb, statement);
}

int BlankNewestDiaryRow(void) {
    WCHAR statement[kTextChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement),
                     L"%lsWHERE rowid = (SELECT rowid FROM VLS ORDER BY rowid DESC LIMIT 1)",
                     kBlankColumns);
    return ExecInTransaction(&DiaryDb, statement);
}

int DeleteRemarkByPlate(const char *cipherPlate) {
    WCHAR plate[kCipherFieldBytes], quoted[2 * kCipherFieldBytes];
    AnsiToWide(cipherPlate, plate, ARRAYSIZE(plate));
    SqlQuote(plate, quoted);
    WCHAR statement[kStatementChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"DELETE FROM VLS WHERE C1 = '%ls'", quoted);
    return ExecInTransaction(&RemarkDb, statement);
}

int DeleteRemarkByRowId(int rowId) {
    WCHAR statement[kTextChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"DELETE FROM VLS WHERE rowid = %d", rowId);
    return ExecInTransaction(&RemarkDb, statement);
}

int BlankDiaryRowById(int rowId) {
    WCHAR statement[kTextChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"%lsWHERE rowid = %d", kBlankColumns, rowId);
    return ExecInTransaction(&DiaryDb, statement);
}

int BlankDiaryRowsOfPlate(long long first, long long last, const char *cipherPlate) {
    WCHAR plate[kCipherFieldBytes], quoted[2 * kCipherFieldBytes];
    AnsiToWide(cipherPlate, plate, ARRAYSIZE(plate));
    SqlQuote(plate, quoted);
    WCHAR statement[kStatementChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"%lsWHERE rowid BETWEEN %lld AND %lld AND C3 = '%ls'",
                     kBlankColumns, first, last, quoted);
    return ExecInTransaction(&DiaryDb, statement);
}

int SetDiaryLocationRemark(int rowId, const WCHAR *location, const WCHAR *remark) {
    // Texts of a field each (at most kTextChars - 1 characters), quoted:
    // even two texts of apostrophes alone fit the statement.
    WCHAR cutLocation[kTextChars], cutRemark[kTextChars];
    TextCopy(cutLocation, location);
    TextCopy(cutRemark, remark);
    WCHAR quotedLocation[2 * kTextChars], quotedRemark[2 * kTextChars];
    SqlQuote(cutLocation, quotedLocation);
    SqlQuote(cutRemark, quotedRemark);
    WCHAR statement[kStatementChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement),
                     L"UPDATE VLS SET C8='%ls', C10='%ls' WHERE rowid = %d", quotedLocation,
                     quotedRemark, rowId);
    return ExecInTransaction(&DiaryDb, statement);
}
