#pragma once

// Statement texts, kept whole: runs of blanks are part of them. Every value a reading brings
// in is bound as a parameter. On SQLite and Firebird that keeps it out of the statement text;
// the PostgreSQL driver writes bound values into the text on the client side, quoted and escaped
// by the client library, which can't carry a NUL: codes holding one never reach a statement.

#include "Names.h"

#include <string>
#include <string_view>

namespace db::sql {

// A count row takes a reading only while it is open: the one test of every statement that adds
// to a count row or takes a reading off it.
#define COLETOR_OPEN_ROW "Processado = '" COLETOR_NOT_PROCESSED "'"
// The Processado a reading writes.
#define COLETOR_OPEN "'" COLETOR_NOT_PROCESSED "'"

// Barcode search; the item code is bound as :PCodBarra. A code that several rows share answers
// with the lowest key among them, the same on every engine: each search below orders by the key.
inline constexpr char BarcodeSearch[] = "Select CodProd, CodGrade          From ProdGrade          "
                                        "          Where upper(ProdGrade.CodBarra) = :PCodBarra "
                                        "Order By CodProd, CodGrade";
// Reference search by Produto.Referencia.
inline constexpr char ReferenceSearch1[] =
    " Select CodProd, Grade From Produto        Where upper(Referencia) = :PReferencia "
    "Order By CodProd";
// Reference search by the manufacturer's reference.
inline constexpr char ReferenceSearch2[] =
    " Select CodProd, Grade From Produto     Where upper(Reffabricante) = :PReferencia "
    "Order By CodProd";
// Old reference, mapped to the current one through Relacionarefant.
inline constexpr char ReferenceSearch3[] =
    " Select CodProd, Grade From Produto                                                  Inner "
    "Join Relacionarefant on Relacionarefant.ReferenciaAtual = Produto.Referencia  Where "
    "upper(Relacionarefant.Referenciaantiga) = :PReferencia                       "
    "Order By Produto.CodProd";
// Whether the count row of a found product is already processed.
inline constexpr char ProcessedCheck[] =
    " Select Processado From Inventa       Where CodEmpresa = :PCodEmpresa And        DataInv    = "
    ":PDataInv    And        CodProd    = :PCodProd    And        Documento  = :PDocumento  And    "
    "    CodGrade   = :PCodGrade       ";
// Stock on record and cost price of a product and grade in a company.
inline constexpr char ReadStockAndCost[] =
    " Select Estoque, PrecoCusto From CompProd  Where CodEmpresa = :PCodEmpresa And             "
    "CodProd    = :PCodProd    And             CodGrade   = :PCodGrade            ";
// Same conditions as ProcessedCheck, in another order: any Processado counts. Quantidade is
// what an update would add to.
inline constexpr char InventoryRowExists[] =
    " Select Processado, Quantidade From Inventa       Where CodEmpresa = :PCodEmpresa And        "
    "DataInv    = :PDataInv    And        Documento  = :PDocumento  And        CodProd    = "
    ":PCodProd    And        CodGrade   = :PCodGrade       ";
// Adds a reading to a count row that is not processed yet.
inline constexpr char UpdateInventoryRow[] =
    " Update Inventa                                Set Processado  = " COLETOR_OPEN
    ",                         "
    " DataHora    = :PDataHora,                     Usuario     = 'ADMIN',                      "
    "Quantidade  = Quantidade + :PQuantidade,      QuantKardex = :PQuantKardex,                  "
    "CodCausa    = :PCodCausa,                     PrecoCusto  = :PPrecoCusto                Where "
    "CodEmpresa = :PCodEmpresa And                 DataInv    = :PDataInv    And                 "
    "Documento  = :PDocumento  And                 CodProd    = :PCodProd    And                 "
    "CodGrade   = :PCodGrade   And                 " COLETOR_OPEN_ROW "                     ";
// Creates the count row of a product and grade.
inline constexpr char InsertInventoryRow[] =
    " Insert Into Inventa                                                        (Processado, "
    "DataHora, Usuario, Quantidade, QuantKardex,             CodCausa, PrecoCusto, CodEmpresa, "
    "DataInv, Documento,               CodProd, CodGrade)                                          "
    "Values (" COLETOR_OPEN
    ", :PDataHora, 'ADMIN', :PQuantidade, :PQuantKardex,          :PCodCausa, "
    ":PPrecoCusto, :PCodEmpresa, :PDataInv,                  :PDocumento, :PCodProd, :PCodGrade)   "
    "                     ";
// Movement test of the opening-stock run; bound by position, first to third, as text.
inline constexpr char MovementLookup[] = "Select * From MvGeral\n"
                                         "Where (CodEmpresa = :PCodEmpresa)\n"
                                         "    And (CodProd        = :PCodProd)\n"
                                         "    And (CodGrade      = :PCodGrade)";
// Fixed texts are standard single-quoted literals, which every engine accepts.
inline constexpr char InsertOpeningStock[] =
    " INSERT INTO INCIEST                                                                          "
    "                         (CODEMPRESA, CODPROD, CODGRADE, DATAINICIO, QUANTIDADE, PRECOMEDIO, "
    "USUARIO, DATAHORA)                 VALUES (:PCODEMPRESA, :PCODPROD, :PCODGRADE, :PDATAINICIO, "
    ":PQUANTIDADE, :PPRECOMEDIO, 'ADMIN', :PDATAHORA) ";
inline constexpr char InsertOpeningMovement[] =
    " INSERT INTO MVGERAL                                                                "
    "(CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, TIPOAGENTE, CODIGOAGENTE, TIPOMOV,    "
    "DOCUMENTO, QUANTIDADE, PRECOMEDIO)                                             VALUES         "
    "                                                                    (:PCODEMPRESA, :PCODPROD, "
    ":PCODGRADE, :PDT_MOVIMENTO, 'A' ,                        '0000000000', :PTIPOMOV, "
    ":PDOCUMENTO, :PQUANTIDADE, :PPRECOMEDIO)              ";

// A statement of a run by sets, for a batch of rows: the head, then `row` once per row of the
// batch, joined by `separator`, then the tail. Every value is bound by position (`?`): the head's
// first, then each row's in the order of the row, then the tail's. A batch has one of a few fixed
// sizes, so that a run prepares few texts.
struct Batched {
    const char* head;
    const char* row;
    const char* separator;
    const char* tail;

    std::string text(int rows, const char* suffix = "") const {
        std::string composed(head);
        for (int each = 0; each < rows; ++each) {
            if (each > 0)
                composed += separator;
            composed += row;
        }
        return composed + tail + suffix;
    }
};

// The four searches of product resolution for a batch of upper-cased item codes: each row found
// starts with the upper-cased column that matched, which names the code it answers. Ordered by
// the key, so that the first row for a code is the one its search of one code takes, whatever
// plan the server chooses for the batch.
inline constexpr Batched BarcodeSearches{
    "Select upper(CodBarra), CodProd, CodGrade From ProdGrade Where upper(CodBarra) In (", "?",
    ", ", ") Order By CodProd, CodGrade"};
inline constexpr Batched ReferenceSearches1{
    "Select upper(Referencia), CodProd, Grade From Produto Where upper(Referencia) In (", "?", ", ",
    ") Order By CodProd"};
inline constexpr Batched ReferenceSearches2{
    "Select upper(Reffabricante), CodProd, Grade From Produto Where upper(Reffabricante) In (", "?",
    ", ", ") Order By CodProd"};
inline constexpr Batched ReferenceSearches3{
    "Select upper(Relacionarefant.Referenciaantiga), Produto.CodProd, Grade From Produto Inner "
    "Join Relacionarefant on Relacionarefant.ReferenciaAtual = Produto.Referencia Where "
    "upper(Relacionarefant.Referenciaantiga) In (",
    "?", ", ", ") Order By Produto.CodProd"};
// A mark in a run's transaction before its reads ahead, which a failed read goes back to, so that
// the transaction takes statements again.
inline constexpr char ReadAheadSavepoint[] = "Savepoint ReadAhead";
inline constexpr char BackToReadAhead[] = "Rollback To Savepoint ReadAhead";
// Reads and writes of a batch of count rows or products: the statement's own values first
// (company, date and document of a count row; the company of a product), then each row's product
// and grade. An inventory run's read of its count rows adds the dialect's row lock.
#define COLETOR_COUNT_ROWS                                                                         \
    "Select CodProd, CodGrade, Processado, Quantidade From Inventa Where CodEmpresa = ? And "      \
    "DataInv = ? And Documento = ? And "
// Stock on record and cost price.
#define COLETOR_STOCKS_AND_COSTS                                                                   \
    "Select CodProd, CodGrade, Estoque, PrecoCusto From CompProd Where CodEmpresa = ? And "
// The products and grades that have a movement.
#define COLETOR_MOVEMENTS "Select Distinct CodProd, CodGrade From MvGeral Where CodEmpresa = ? And "
// An undo removes the count rows a run created.
#define COLETOR_UNDO_DELETE_COUNT_ROWS                                                             \
    "Delete From Inventa Where CodEmpresa = ? And DataInv = ? And Documento = ? "                  \
    "And " COLETOR_OPEN_ROW " And "
// An undo of an opening stock: the rows and movements each product has, and their removal. Each
// binds the company, then the keys.
#define COLETOR_OPENING_ROWS                                                                       \
    "Select CodProd, CodGrade, Count(*) From INCIEST Where CodEmpresa = ? And "
#define COLETOR_OPENING_MOVEMENTS                                                                  \
    "Select CodProd, CodGrade, Count(*) From MvGeral Where CodEmpresa = ? And "
#define COLETOR_UNDO_DELETE_OPENING_MOVEMENTS                                                      \
    "Delete From MvGeral Where CodEmpresa = ? And TipoMov = '04' And "
#define COLETOR_UNDO_DELETE_OPENING_ROWS "Delete From INCIEST Where CodEmpresa = ? And "
#define COLETOR_GROUPS " Group By CodProd, CodGrade"
// On PostgreSQL each key by itself, by the index whatever the server knows of the table: a list
// of values met a table a run had just filled, of which it had no statistics yet, as if the
// company had a few hundred rows, and was joined to every one of them (1.6 s a batch). Offset 0
// keeps the server from making the look-up of each key a join again.
#define COLETOR_EACH_KEY_COUNT(table)                                                              \
    "Select v.column1, v.column2, (Select Count(*) From " table                                    \
    " t Where t.CodEmpresa = e.c And t.CodProd = v.column1 And t.CodGrade = v.column2) From "      \
    "(Select Cast(? As Varchar(2)) As c) As e, (Values "
#define COLETOR_EACH_KEY_DELETE(table)                                                             \
    "Delete From " table " Where ctid = Any(Array(Select m.ctid From (Select Cast(? As "           \
    "Varchar(2)) As c) As e, (Values "
#define COLETOR_EACH_KEY_DELETE_TAIL(table, condition)                                             \
    ") As v, Lateral (Select ctid From " table " Where CodEmpresa = e.c And CodProd = v.column1 "  \
    "And CodGrade = v.column2" condition " Offset 0) As m))"
struct KeyedBatches {
    Batched countRows;
    Batched stocksAndCosts;
    Batched movements;
    Batched undoDeleteCountRows;
    // The rows of UndoSetCounts, after its text.
    Batched undoSetCountsRows;
    Batched openingRows;
    Batched openingMovements;
    Batched undoDeleteOpeningMovements;
    Batched undoDeleteOpeningRows;
    // The rows of a later run whose counts an undo beneath it shifts, after UndoShiftCreated:
    // each row's run, product and grade.
    Batched undoShiftRows;
};
// A chain of Or, which SQLite and Firebird look up by the key's index one row at a time.
inline constexpr KeyedBatches KeyedByOr{
    {COLETOR_COUNT_ROWS "(", "(CodProd = ? And CodGrade = ?)", " Or ", ")"},
    {COLETOR_STOCKS_AND_COSTS "(", "(CodProd = ? And CodGrade = ?)", " Or ", ")"},
    {COLETOR_MOVEMENTS "(", "(CodProd = ? And CodGrade = ?)", " Or ", ")"},
    {COLETOR_UNDO_DELETE_COUNT_ROWS "(", "(CodProd = ? And CodGrade = ?)", " Or ", ")"},
    {"(", "(CodProd = ? And CodGrade = ?)", " Or ", ")"},
    {COLETOR_OPENING_ROWS "(", "(CodProd = ? And CodGrade = ?)", " Or ", ")" COLETOR_GROUPS},
    {COLETOR_OPENING_MOVEMENTS "(", "(CodProd = ? And CodGrade = ?)", " Or ", ")" COLETOR_GROUPS},
    {COLETOR_UNDO_DELETE_OPENING_MOVEMENTS "(", "(CodProd = ? And CodGrade = ?)", " Or ", ")"},
    {COLETOR_UNDO_DELETE_OPENING_ROWS "(", "(CodProd = ? And CodGrade = ?)", " Or ", ")"},
    // The run in every row's test: an engine may otherwise read all the run's rows for each
    // batch, by the first column of their key alone, as Firebird did (it now shifts rows by a
    // block of updates).
    {" Where ", "(IdConv = ? And CodProd = ? And CodGrade = ?)", " Or ", ""}};
// A list of values: PostgreSQL plans an Or chain of a few hundred rows in tens of milliseconds,
// more than the read takes, and a list in a few.
inline constexpr KeyedBatches KeyedByValues{
    {COLETOR_COUNT_ROWS "(CodProd, CodGrade) In (Values ", "(?, ?)", ", ", ")"},
    {COLETOR_STOCKS_AND_COSTS "(CodProd, CodGrade) In (Values ", "(?, ?)", ", ", ")"},
    {COLETOR_MOVEMENTS "(CodProd, CodGrade) In (Values ", "(?, ?)", ", ", ")"},
    {COLETOR_UNDO_DELETE_COUNT_ROWS "(CodProd, CodGrade) In (Values ", "(?, ?)", ", ", ")"},
    {"(CodProd, CodGrade) In (Values ", "(?, ?)", ", ", ")"},
    {COLETOR_EACH_KEY_COUNT("INCIEST"), "(?, ?)", ", ", ") As v"},
    {COLETOR_EACH_KEY_COUNT("MvGeral"), "(?, ?)", ", ", ") As v"},
    {COLETOR_EACH_KEY_DELETE("MvGeral"), "(?, ?)", ", ",
     COLETOR_EACH_KEY_DELETE_TAIL("MvGeral", " And TipoMov = '04'")},
    {COLETOR_EACH_KEY_DELETE("INCIEST"), "(?, ?)", ", ",
     COLETOR_EACH_KEY_DELETE_TAIL("INCIEST", "")},
    {" Where (IdConv, CodProd, CodGrade) In (Values ", "(?, ?, ?)", ", ", ")"}};
// A list of values selected from: SQLite looks a row-value In up by the whole key only when its
// right-hand side is a select; on a bare list, or on an Or chain, it reads every row of the
// company.
inline constexpr KeyedBatches KeyedBySelect{
    {COLETOR_COUNT_ROWS "(CodProd, CodGrade) In (Select column1, column2 From (Values ", "(?, ?)",
     ", ", "))"},
    {COLETOR_STOCKS_AND_COSTS "(CodProd, CodGrade) In (Select column1, column2 From (Values ",
     "(?, ?)", ", ", "))"},
    {COLETOR_MOVEMENTS "(CodProd, CodGrade) In (Select column1, column2 From (Values ", "(?, ?)",
     ", ", "))"},
    {COLETOR_UNDO_DELETE_COUNT_ROWS "(CodProd, CodGrade) In (Select column1, column2 From (Values ",
     "(?, ?)", ", ", "))"},
    {"(CodProd, CodGrade) In (Select column1, column2 From (Values ", "(?, ?)", ", ", "))"},
    {COLETOR_OPENING_ROWS "(CodProd, CodGrade) In (Select column1, column2 From (Values ", "(?, ?)",
     ", ", "))" COLETOR_GROUPS},
    {COLETOR_OPENING_MOVEMENTS "(CodProd, CodGrade) In (Select column1, column2 From (Values ",
     "(?, ?)", ", ", "))" COLETOR_GROUPS},
    {COLETOR_UNDO_DELETE_OPENING_MOVEMENTS
     "(CodProd, CodGrade) In (Select column1, column2 From (Values ",
     "(?, ?)", ", ", "))"},
    {COLETOR_UNDO_DELETE_OPENING_ROWS
     "(CodProd, CodGrade) In (Select column1, column2 From (Values ",
     "(?, ?)", ", ", "))"},
    {" Where (IdConv, CodProd, CodGrade) In (Select column1, column2, column3 From (Values ",
     "(?, ?, ?)", ", ", "))"}};
#undef COLETOR_COUNT_ROWS
#undef COLETOR_STOCKS_AND_COSTS
#undef COLETOR_MOVEMENTS
#undef COLETOR_UNDO_DELETE_COUNT_ROWS
#undef COLETOR_OPENING_ROWS
#undef COLETOR_OPENING_MOVEMENTS
#undef COLETOR_UNDO_DELETE_OPENING_MOVEMENTS
#undef COLETOR_UNDO_DELETE_OPENING_ROWS
#undef COLETOR_GROUPS
#undef COLETOR_EACH_KEY_COUNT
#undef COLETOR_EACH_KEY_DELETE
#undef COLETOR_EACH_KEY_DELETE_TAIL

// The writes of a run by sets on one engine. A count row is bound, in every statement, as
// DataHora, the quantity, QuantKardex, CodCausa, PrecoCusto, CodEmpresa, DataInv, Documento,
// CodProd, CodGrade; an update then binds the count the run read and the count its readings
// make. The readings, added one by one, may make a sum that no single addition to the row
// makes to the last bit: a row that holds what the run read under its lock gets that sum, any
// other row the quantity added to what it holds, so no other workstation's count is lost.
// An opening stock row is bound as its single-row insert binds it.
struct SetWrites {
    Batched insertCountRows;
    // Whether the insert returns the product and grade of each row it created, passing over a
    // row that another workstation has just created; otherwise such a row fails the insert.
    bool insertReturnsCreated;
    Batched addToCountRows;
    Batched insertOpeningStock;
    Batched insertOpeningMovement;
};

// Multi-row VALUES, an insert that passes over a row just created, an update from a list of
// values. The update takes the open Processado from the list too: as a filter of its own, the
// planner would take the open rows for few (the statistics don't know the rows the run has
// just created) and scan them once for each row of the list.
inline constexpr SetWrites PostgresSetWrites{
    {" Insert Into Inventa (Processado, DataHora, Usuario, Quantidade, QuantKardex, CodCausa, "
     "PrecoCusto, CodEmpresa, DataInv, Documento, CodProd, CodGrade) Values ",
     "(" COLETOR_OPEN ", ?, 'ADMIN', ?, ?, ?, ?, ?, ?, ?, ?, ?)", ", ",
     " On Conflict Do Nothing Returning CodProd, CodGrade"},
    true,
    {" Update Inventa Set Processado = " COLETOR_OPEN ", DataHora = v.DataHora, Usuario = 'ADMIN', "
     "Quantidade = Case When Inventa.Quantidade = v.CountRead Then v.CountWritten Else "
     "Inventa.Quantidade + v.Quantidade End, QuantKardex = v.QuantKardex, CodCausa = v.CodCausa, "
     "PrecoCusto = v.PrecoCusto From (Values ",
     "(Cast(? As Varchar), Cast(? As Double Precision), Cast(? As Double Precision), "
     "Cast(? As Varchar), Cast(? As Double Precision), Cast(? As Varchar), Cast(? As Date), "
     "Cast(? As Varchar), Cast(? As Varchar), Cast(? As Varchar), Cast(? As Double Precision), "
     "Cast(? As Double Precision), Cast(" COLETOR_OPEN " As Char(1)))",
     ", ",
     ") As v (DataHora, Quantidade, QuantKardex, CodCausa, PrecoCusto, CodEmpresa, DataInv, "
     "Documento, CodProd, CodGrade, CountRead, CountWritten, Processado) Where "
     "Inventa.CodEmpresa = v.CodEmpresa And Inventa.DataInv = v.DataInv And Inventa.Documento = "
     "v.Documento And Inventa.CodProd = v.CodProd And Inventa.CodGrade = v.CodGrade And "
     "Inventa.Processado = v.Processado"},
    {" INSERT INTO INCIEST (CODEMPRESA, CODPROD, CODGRADE, DATAINICIO, QUANTIDADE, PRECOMEDIO, "
     "USUARIO, DATAHORA) VALUES ",
     "(?, ?, ?, ?, ?, ?, 'ADMIN', ?)", ", ", ""},
    {" INSERT INTO MVGERAL (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, TIPOAGENTE, CODIGOAGENTE, "
     "TIPOMOV, DOCUMENTO, QUANTIDADE, PRECOMEDIO) VALUES ",
     "(?, ?, ?, ?, 'A', '0000000000', ?, ?, ?, ?)", ", ", ""},
};

// Firebird 3 has no multi-row VALUES: the rows are a union of one-row selects, typed by casts,
// inserted or merged by one plain statement.
inline constexpr SetWrites FirebirdSetWrites{
    {" Insert Into Inventa (Processado, DataHora, Usuario, Quantidade, QuantKardex, CodCausa, "
     "PrecoCusto, CodEmpresa, DataInv, Documento, CodProd, CodGrade) ",
     "Select " COLETOR_OPEN
     ", Cast(? As Varchar(20)), 'ADMIN', Cast(? As Double Precision), Cast(? As Double "
     "Precision), Cast(? As Varchar(3)), Cast(? As Double Precision), Cast(? As Varchar(2)), "
     "Cast(? As Date), Cast(? As Varchar(10)), Cast(? As Varchar(14)), Cast(? As Varchar(4)) From "
     "RDB$DATABASE",
     " Union All ", ""},
    false,
    {" Merge Into Inventa Using (",
     "Select Cast(? As Varchar(20)) As DataHora, Cast(? As Double Precision) As Quantidade, "
     "Cast(? As Double Precision) As QuantKardex, Cast(? As Varchar(3)) As CodCausa, "
     "Cast(? As Double Precision) As PrecoCusto, Cast(? As Varchar(2)) As CodEmpresa, "
     "Cast(? As Date) As DataInv, Cast(? As Varchar(10)) As Documento, "
     "Cast(? As Varchar(14)) As CodProd, Cast(? As Varchar(4)) As CodGrade, "
     "Cast(? As Double Precision) As CountRead, Cast(? As Double Precision) As CountWritten "
     "From RDB$DATABASE",
     " Union All ",
     ") v On Inventa.CodEmpresa = v.CodEmpresa And Inventa.DataInv = v.DataInv And "
     "Inventa.Documento = v.Documento And Inventa.CodProd = v.CodProd And Inventa.CodGrade = "
     "v.CodGrade When Matched And Inventa." COLETOR_OPEN_ROW
     " Then Update Set DataHora = v.DataHora, "
     "Usuario = 'ADMIN', Quantidade = Case When Inventa.Quantidade = v.CountRead Then "
     "v.CountWritten Else Inventa.Quantidade + v.Quantidade End, QuantKardex = v.QuantKardex, "
     "CodCausa = v.CodCausa, PrecoCusto = v.PrecoCusto"},
    {" INSERT INTO INCIEST (CODEMPRESA, CODPROD, CODGRADE, DATAINICIO, QUANTIDADE, PRECOMEDIO, "
     "USUARIO, DATAHORA) ",
     "SELECT CAST(? AS VARCHAR(2)), CAST(? AS VARCHAR(14)), CAST(? AS VARCHAR(4)), CAST(? AS "
     "TIMESTAMP), CAST(? AS DOUBLE PRECISION), CAST(? AS DOUBLE PRECISION), 'ADMIN', CAST(? AS "
     "VARCHAR(20)) FROM RDB$DATABASE",
     " UNION ALL ", ""},
    {" INSERT INTO MVGERAL (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, TIPOAGENTE, CODIGOAGENTE, "
     "TIPOMOV, DOCUMENTO, QUANTIDADE, PRECOMEDIO) ",
     "SELECT CAST(? AS VARCHAR(2)), CAST(? AS VARCHAR(14)), CAST(? AS VARCHAR(4)), CAST(? AS "
     "TIMESTAMP), 'A', '0000000000', CAST(? AS VARCHAR(2)), CAST(? AS VARCHAR(20)), CAST(? AS "
     "DOUBLE PRECISION), CAST(? AS DOUBLE PRECISION) FROM RDB$DATABASE",
     " UNION ALL ", ""},
};

// Multi-row VALUES; the update joins a list named by a common table expression, which SQLite
// looks each count row up from by its key. The run holds the database's write lock from its
// first statement, so no other workstation can create a row between the run's read and its
// insert.
inline constexpr SetWrites SqliteSetWrites{
    {" Insert Into Inventa (Processado, DataHora, Usuario, Quantidade, QuantKardex, CodCausa, "
     "PrecoCusto, CodEmpresa, DataInv, Documento, CodProd, CodGrade) Values ",
     "(" COLETOR_OPEN ", ?, 'ADMIN', ?, ?, ?, ?, ?, ?, ?, ?, ?)", ", ", ""},
    false,
    {"With v (DataHora, Quantidade, QuantKardex, CodCausa, PrecoCusto, CodEmpresa, DataInv, "
     "Documento, CodProd, CodGrade, CountRead, CountWritten) As (Values ",
     "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", ", ",
     ") Update Inventa Set Processado = " COLETOR_OPEN
     ", DataHora = v.DataHora, Usuario = 'ADMIN', "
     "Quantidade = Case When Inventa.Quantidade = v.CountRead Then v.CountWritten Else "
     "Inventa.Quantidade + v.Quantidade End, QuantKardex = v.QuantKardex, CodCausa = v.CodCausa, "
     "PrecoCusto = v.PrecoCusto From v Where Inventa.CodEmpresa = v.CodEmpresa And "
     "Inventa.DataInv = v.DataInv And Inventa.Documento = v.Documento And Inventa.CodProd = "
     "v.CodProd And Inventa.CodGrade = v.CodGrade And Inventa." COLETOR_OPEN_ROW},
    PostgresSetWrites.insertOpeningStock,
    PostgresSetWrites.insertOpeningMovement,
};

// The products of a company with stock on record (neither zero nor null) that the inventory of a
// date has no count row for, processed or not: what nobody counted.
inline constexpr char UncountedProducts[] =
    "Select CodProd, CodGrade, Estoque, PrecoCusto From CompProd Where CodEmpresa = :PCodEmpresa "
    "And Estoque <> 0 And Not Exists (Select Inventa.CodProd From Inventa Where "
    "Inventa.CodEmpresa = CompProd.CodEmpresa And Inventa.DataInv = :PDataInv And "
    "Inventa.Documento = :PDocumento And Inventa.CodProd = CompProd.CodProd And "
    "Inventa.CodGrade = CompProd.CodGrade) Order By CodProd, CodGrade";

// Whether a product and grade already has an opening stock row (asked after a failed run).
inline constexpr char OpeningStockLookup[] =
    "Select CODPROD From INCIEST Where CODEMPRESA = :PCODEMPRESA And CODPROD = :PCODPROD And "
    "CODGRADE = :PCODGRADE";

// The journal of runs (ConvColetor, ConvColetorIt): written in the run's own transaction.
#define COLETOR_JOURNAL_COLUMNS                                                                    \
    "IdConv, DataHora, Estacao, Usuario, Modo, CodEmpresa, CodCausa, DataInv, Arquivo, Sha256, "   \
    "Linhas, Gravadas, Rejeitadas, Situacao, DesfeitoPor, DesfeitoEm"
inline constexpr char JournalInsertRun[] =
    "Insert Into ConvColetor (IdConv, DataHora, Estacao, Usuario, Modo, CodEmpresa, CodCausa, "
    "DataInv, Arquivo, Sha256, Linhas, Gravadas, Rejeitadas, Situacao) Values (:PIdConv, "
    ":PDataHora, :PEstacao, :PUsuario, :PModo, :PCodEmpresa, :PCodCausa, :PDataInv, :PArquivo, "
    ":PSha256, :PLinhas, :PGravadas, :PRejeitadas, 'G')";
inline constexpr char JournalInsertRow[] =
    "Insert Into ConvColetorIt (IdConv, CodProd, CodGrade, Quantidade, Criou) Values (:PIdConv, "
    ":PCodProd, :PCodGrade, :PQuantidade, :PCriou)";
// A run's rows in batches: multi-row VALUES, each row binding IdConv, CodProd, CodGrade,
// Quantidade, Criou, Antes, Depois by position.
inline constexpr Batched JournalInsertRows{
    "Insert Into ConvColetorIt (IdConv, CodProd, CodGrade, Quantidade, Criou, Antes, Depois) "
    "Values ",
    "(?, ?, ?, ?, ?, ?, ?)", ", ", ""};
// A Firebird block over a batch of a run's rows: IdConv bound once as I, then for each row the
// parameters `declared` names and the statement `each` runs, '#' in both standing for the row's
// number; `begin` and `end` open and close its body.
inline std::string firebirdRowsBlock(int rows, std::string_view declared, std::string_view each,
                                     std::string_view begin, std::string_view end) {
    const auto numbered = [](std::string_view text, const std::string& n) {
        std::string out;
        for (const char c : text)
            c == '#' ? out += n : out += c;
        return out;
    };
    std::string parameters = "Execute Block (I Varchar(36) = ?";
    std::string body;
    for (int row = 0; row < rows; ++row) {
        const std::string n = std::to_string(row);
        parameters += ", " + numbered(declared, n);
        body += numbered(each, n);
    }
    return parameters + ")" + std::string(begin) + body + std::string(end);
}
// Firebird 3 has no multi-row VALUES: a block of one insert a row, binding IdConv once and then
// each row's other six values. A union of one-row selects, IdConv bound with each row, took 14%
// longer on the server.
inline std::string firebirdJournalInsertBlock(int rows) {
    return firebirdRowsBlock(
        rows,
        "K# Varchar(14) = ?, G# Varchar(4) = ?, Q# Double Precision = ?, C# Char(1) = ?, A# "
        "Double Precision = ?, D# Double Precision = ?",
        "Insert Into ConvColetorIt (IdConv, CodProd, CodGrade, Quantidade, Criou, Antes, Depois) "
        "Values (:I, :K#, :G#, :Q#, :C#, :A#, :D#); ",
        " As Begin ", "End");
}
// The count rows a run created and left holding their quantity: three values a row where the
// block above binds six, which on Firebird costs a value's bind and conversion at both ends.
inline std::string firebirdJournalCountedInsertBlock(int rows) {
    return firebirdRowsBlock(
        rows, "K# Varchar(14) = ?, G# Varchar(4) = ?, Q# Double Precision = ?",
        "Insert Into ConvColetorIt (IdConv, CodProd, CodGrade, Quantidade, Criou, Antes, Depois) "
        "Values (:I, :K#, :G#, :Q#, 'S', Null, :Q#); ",
        " As Begin ", "End");
}
// Firebird shifts a later run's rows as a block of one update a row, each by the whole key, and
// answers how many it changed: the Case of each column over a batch of rows cost it more than
// the updates.
inline std::string firebirdUndoShiftBlock(int rows) {
    return firebirdRowsBlock(
        rows,
        "K# Varchar(14) = ?, G# Varchar(4) = ?, A# Double Precision = ?, D# Double Precision = ?, "
        "C# Char(1) = ?",
        "Update ConvColetorIt Set Antes = :A#, Depois = :D#, Criou = :C# Where IdConv = :I And "
        "CodProd = :K# And CodGrade = :G#; N = N + Row_Count; ",
        " Returns (N Integer) As Begin N = 0; ", "Suspend; End");
}
// PostgreSQL takes a run's rows as one array a column: a statement of thousands of rows costs
// one round trip and one parse, where rows of bound values cost a parse of every value.
inline constexpr char PostgresJournalInsertArrays[] =
    "Insert Into ConvColetorIt (IdConv, CodProd, CodGrade, Quantidade, Criou, Antes, Depois) "
    "Select Cast(? As Varchar(36)), r.* From Unnest(Cast(? As Varchar[]), Cast(? As Varchar[]), "
    "Cast(? As Double Precision[]), Cast(? As Char(1)[]), Cast(? As Double Precision[]), Cast(? "
    "As Double Precision[])) As r";
// The foreign keys of the journal's rows table, which journals made before kept to their runs.
inline constexpr char FirebirdJournalForeignKeys[] =
    "Select Trim(RDB$CONSTRAINT_NAME) From RDB$RELATION_CONSTRAINTS Where RDB$RELATION_NAME = "
    "'CONVCOLETORIT' And RDB$CONSTRAINT_TYPE = 'FOREIGN KEY' Order By 1";
inline constexpr char PostgresJournalForeignKeys[] =
    "Select conname From pg_constraint Where conrelid = to_regclass('convcoletorit') And contype "
    "= 'f' Order By 1";
// The index by product of the journal's rows, which journals made before kept.
inline constexpr char SqliteJournalProductIndex[] =
    "Select name From sqlite_master Where type = 'index' And name = 'ConvColetorIt_Produto' "
    "Collate NoCase";
inline constexpr char FirebirdJournalProductIndex[] =
    "Select RDB$INDEX_NAME From RDB$INDICES Where RDB$INDEX_NAME = 'CONVCOLETORIT_PRODUTO'";
inline constexpr char PostgresJournalProductIndex[] =
    "Select 1 Where to_regclass('convcoletorit_produto') Is Not Null";
inline constexpr char JournalDropProductIndex[] = "Drop Index ConvColetorIt_Produto";
// Followed by the constraint's quoted name.
inline constexpr char JournalDropConstraint[] = "Alter Table ConvColetorIt Drop Constraint ";
// A run of several files: each file's entry carries the id of the first, which holds the rows.
inline constexpr char JournalInsertRunInLote[] =
    "Insert Into ConvColetor (IdConv, DataHora, Estacao, Usuario, Modo, CodEmpresa, CodCausa, "
    "DataInv, Arquivo, Sha256, Linhas, Gravadas, Rejeitadas, Situacao, IdLote) Values (:PIdConv, "
    ":PDataHora, :PEstacao, :PUsuario, :PModo, :PCodEmpresa, :PCodCausa, :PDataInv, :PArquivo, "
    ":PSha256, :PLinhas, :PGravadas, :PRejeitadas, 'G', :PIdLote)";
inline constexpr char JournalLotes[] =
    "Select IdConv, IdLote From ConvColetor Where IdLote Is Not Null";
inline constexpr char JournalLoteOf[] = "Select IdLote From ConvColetor Where IdConv = :PIdConv";
inline constexpr char JournalAddLote[] = "Alter Table ConvColetor Add IdLote VARCHAR(36)";
inline constexpr char JournalMarkLoteUndone[] =
    "Update ConvColetor Set Situacao = 'D', DesfeitoPor = :PDesfeitoPor, DesfeitoEm = "
    ":PDesfeitoEm Where IdLote = :PIdLote And Situacao = 'G'";
// A posted run, not undone, of the same readings into the same place: the readings' identity or,
// as runs were recorded before, the file's bytes.
inline constexpr char JournalFindPosted[] =
    "Select " COLETOR_JOURNAL_COLUMNS " From ConvColetor Where Sha256 In (:PSha256, "
    ":PBytesSha256) And Modo = :PModo "
    "And CodEmpresa = :PCodEmpresa And DataInv = :PDataInv And CodCausa = :PCodCausa And "
    "Situacao = 'G' Order By DataHora Desc";
inline constexpr char JournalFindRun[] =
    "Select " COLETOR_JOURNAL_COLUMNS " From ConvColetor Where IdConv = :PIdConv";
inline constexpr char JournalLote[] =
    "Select " COLETOR_JOURNAL_COLUMNS " From ConvColetor Where IdLote = :PIdLote Order By Arquivo";
inline constexpr char JournalHistory[] =
    "Select " COLETOR_JOURNAL_COLUMNS " From ConvColetor Order By DataHora Desc, IdConv";
#undef COLETOR_JOURNAL_COLUMNS
inline constexpr char JournalRows[] = "Select CodProd, CodGrade, Quantidade, Criou From "
                                      "ConvColetorIt Where IdConv = :PIdConv Order By CodProd, "
                                      "CodGrade";
inline constexpr char JournalRowsCounts[] =
    "Select CodProd, CodGrade, Quantidade, Criou, Antes, Depois From ConvColetorIt Where IdConv = "
    ":PIdConv Order By CodProd, CodGrade";
inline constexpr char JournalAddBefore[] = "Alter Table ConvColetorIt Add Antes DOUBLE PRECISION";
inline constexpr char JournalAddAfter[] = "Alter Table ConvColetorIt Add Depois DOUBLE PRECISION";
inline constexpr char JournalMarkUndone[] =
    "Update ConvColetor Set Situacao = 'D', DesfeitoPor = :PDesfeitoPor, DesfeitoEm = "
    ":PDesfeitoEm Where IdConv = :PIdConv And Situacao = 'G'";
// Every other posted run into the inventory of the run being undone: conversions ('I') and
// zeroings of what nobody counted ('Z'), which write count rows too.
inline constexpr char UndoOtherRuns[] =
    "Select IdConv From ConvColetor Where IdConv <> :POutraConv And Situacao = 'G' And Modo In "
    "('I', 'Z') And CodEmpresa = :PCodEmpresa And DataInv = :PDataInv";
// The rows one of them shares with the run being undone, with the counts it recorded (journals
// that kept no counts give none). Both sides are read by the rows' key, whose first column is
// the run: the journal keeps no index by product, which every run would pay for.
#define COLETOR_UNDO_SHARED_ROWS(counts)                                                           \
    "Select Theirs.CodProd, Theirs.CodGrade, " counts " From ConvColetorIt Mine Inner Join "       \
    "ConvColetorIt Theirs On Theirs.IdConv = :POutraConv And Theirs.CodProd = Mine.CodProd And "   \
    "Theirs.CodGrade = Mine.CodGrade Where Mine.IdConv = :PIdConv"
inline constexpr char UndoSharedRows[] = COLETOR_UNDO_SHARED_ROWS("Theirs.Antes, Theirs.Depois");
inline constexpr char UndoSharedRowsNoCounts[] =
    COLETOR_UNDO_SHARED_ROWS("Cast(Null As Double Precision), Cast(Null As Double Precision)");
#undef COLETOR_UNDO_SHARED_ROWS
// A later run's counts, once an earlier run is undone beneath it, for a batch of its rows: each
// row's product, grade and value, for Antes, then Depois, then Criou; then the dialect's
// undoShiftRows.
inline constexpr Batched UndoShiftBefore{
    "Update ConvColetorIt Set Antes = Case",
    " When CodProd = ? And CodGrade = ? Then Cast(? As Double Precision)", "", " End"};
inline constexpr Batched UndoShiftAfter{
    ", Depois = Case", " When CodProd = ? And CodGrade = ? Then Cast(? As Double Precision)", "",
    " End"};
inline constexpr Batched UndoShiftCreated{
    ", Criou = Case", " When CodProd = ? And CodGrade = ? Then Cast(? As Char(1))", "", " End"};
// Undo of an inventory run in batches: the counts put back bind each row's product, grade and
// count, then company, date and document, then the dialect's undoSetCountsRows.
inline constexpr Batched UndoSetCounts{"Update Inventa Set Quantidade = Case",
                                       " When CodProd = ? And CodGrade = ? Then Cast(? As Double "
                                       "Precision)",
                                       "",
                                       " End Where CodEmpresa = ? And DataInv = ? And Documento = "
                                       "? And " COLETOR_OPEN_ROW " And "};
} // namespace db::sql

#undef COLETOR_OPEN_ROW
#undef COLETOR_OPEN
