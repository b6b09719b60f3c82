#pragma once

// Statement texts, kept whole: runs of blanks are part of them. Every value a reading brings
// in is bound as a parameter. On SQLite and Firebird that keeps it out of the statement text;
// the PostgreSQL driver writes bound values into the text on the client side, quoted and escaped
// by the client library, which can't carry a NUL: codes holding one never reach a statement.

namespace db::sql {

// Barcode search; the item code is bound as :PCodBarra.
inline constexpr char BarcodeSearch[] = "Select CodProd, CodGrade          From ProdGrade          "
                                        "          Where upper(ProdGrade.CodBarra) = :PCodBarra";
// Reference search by Produto.Referencia.
inline constexpr char ReferenceSearch1[] =
    " Select CodProd, Grade From Produto        Where upper(Referencia) = :PReferencia ";
// Reference search by the manufacturer's reference.
inline constexpr char ReferenceSearch2[] =
    " Select CodProd, Grade From Produto     Where upper(Reffabricante) = :PReferencia ";
// Old reference, mapped to the current one through Relacionarefant.
inline constexpr char ReferenceSearch3[] =
    " Select CodProd, Grade From Produto                                                  Inner "
    "Join Relacionarefant on Relacionarefant.ReferenciaAtual = Produto.Referencia  Where "
    "upper(Relacionarefant.Referenciaantiga) = :PReferencia                       ";
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
    " Update Inventa                                Set Processado  = 'N',                         "
    " DataHora    = :PDataHora,                     Usuario     = 'ADMIN',                      "
    "Quantidade  = Quantidade + :PQuantidade,      QuantKardex = :PQuantKardex,                  "
    "CodCausa    = :PCodCausa,                     PrecoCusto  = :PPrecoCusto                Where "
    "CodEmpresa = :PCodEmpresa And                 DataInv    = :PDataInv    And                 "
    "Documento  = :PDocumento  And                 CodProd    = :PCodProd    And                 "
    "CodGrade   = :PCodGrade   And                 Processado = 'N'                     ";
// Creates the count row of a product and grade.
inline constexpr char InsertInventoryRow[] =
    " Insert Into Inventa                                                        (Processado, "
    "DataHora, Usuario, Quantidade, QuantKardex,             CodCausa, PrecoCusto, CodEmpresa, "
    "DataInv, Documento,               CodProd, CodGrade)                                          "
    "Values ('N', :PDataHora, 'ADMIN', :PQuantidade, :PQuantKardex,          :PCodCausa, "
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
// A posted run, not undone, of the same file bytes into the same place.
inline constexpr char JournalFindPosted[] =
    "Select " COLETOR_JOURNAL_COLUMNS " From ConvColetor Where Sha256 = :PSha256 And Modo = :PModo "
    "And CodEmpresa = :PCodEmpresa And DataInv = :PDataInv And CodCausa = :PCodCausa And "
    "Situacao = 'G' Order By DataHora Desc";
inline constexpr char JournalFindRun[] =
    "Select " COLETOR_JOURNAL_COLUMNS " From ConvColetor Where IdConv = :PIdConv";
inline constexpr char JournalHistory[] =
    "Select " COLETOR_JOURNAL_COLUMNS " From ConvColetor Order By DataHora Desc, IdConv";
#undef COLETOR_JOURNAL_COLUMNS
inline constexpr char JournalRows[] = "Select CodProd, CodGrade, Quantidade, Criou From "
                                      "ConvColetorIt Where IdConv = :PIdConv Order By CodProd, "
                                      "CodGrade";
inline constexpr char JournalMarkUndone[] =
    "Update ConvColetor Set Situacao = 'D', DesfeitoPor = :PDesfeitoPor, DesfeitoEm = "
    ":PDesfeitoEm Where IdConv = :PIdConv And Situacao = 'G'";
// Undo of an inventory run: the count row as it stands now (the dialect's row lock follows).
inline constexpr char UndoCountRow[] =
    "Select Processado, Quantidade From Inventa Where CodEmpresa = :PCodEmpresa And DataInv = "
    ":PDataInv And Documento = :PDocumento And CodProd = :PCodProd And CodGrade = :PCodGrade";
// Other posted runs that added to the same count row.
inline constexpr char UndoOtherRunsOnRow[] =
    "Select Count(*) From ConvColetorIt Inner Join ConvColetor On ConvColetor.IdConv = "
    "ConvColetorIt.IdConv Where ConvColetor.IdConv <> :PIdConv And ConvColetor.Situacao = 'G' "
    "And ConvColetor.Modo = 'I' And ConvColetor.CodEmpresa = :PCodEmpresa And "
    "ConvColetor.DataInv = :PDataInv And ConvColetorIt.CodProd = :PCodProd And "
    "ConvColetorIt.CodGrade = :PCodGrade";
inline constexpr char UndoSubtractCount[] =
    "Update Inventa Set Quantidade = Quantidade - :PQuantidade Where CodEmpresa = :PCodEmpresa "
    "And DataInv = :PDataInv And Documento = :PDocumento And CodProd = :PCodProd And CodGrade = "
    ":PCodGrade And Processado = 'N'";
inline constexpr char UndoDeleteCountRow[] =
    "Delete From Inventa Where CodEmpresa = :PCodEmpresa And DataInv = :PDataInv And Documento "
    "= :PDocumento And CodProd = :PCodProd And CodGrade = :PCodGrade And Processado = 'N'";
// Undo of an opening-stock run: the product's movements and its opening stock row.
inline constexpr char UndoMovementCount[] =
    "Select Count(*) From MvGeral Where CodEmpresa = :PCodEmpresa And CodProd = :PCodProd And "
    "CodGrade = :PCodGrade";
inline constexpr char UndoOpeningRowCount[] =
    "Select Count(*) From INCIEST Where CODEMPRESA = :PCODEMPRESA And CODPROD = :PCODPROD And "
    "CODGRADE = :PCODGRADE";
inline constexpr char UndoDeleteOpeningStock[] =
    "Delete From INCIEST Where CODEMPRESA = :PCODEMPRESA And CODPROD = :PCODPROD And CODGRADE = "
    ":PCODGRADE";
inline constexpr char UndoDeleteOpeningMovement[] =
    "Delete From MVGERAL Where CODEMPRESA = :PCODEMPRESA And CODPROD = :PCODPROD And CODGRADE = "
    ":PCODGRADE And TIPOMOV = '04'";

} // namespace db::sql
