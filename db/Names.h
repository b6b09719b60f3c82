#pragma once

// Table and column names as the statements spell them, and the fixed values the tool writes.

namespace db {

namespace table {
inline constexpr char Filiais[] = "Filiais";
inline constexpr char CausInv[] = "CausInv";
inline constexpr char ProdGrade[] = "ProdGrade";
inline constexpr char Produto[] = "Produto";
inline constexpr char Relacionarefant[] = "Relacionarefant";
inline constexpr char CompProd[] = "CompProd";
inline constexpr char Inventa[] = "Inventa";
inline constexpr char MvGeral[] = "MvGeral";
inline constexpr char InciEst[] = "INCIEST";
// The journal of runs and the rows each run wrote.
inline constexpr char ConvColetor[] = "ConvColetor";
inline constexpr char ConvColetorIt[] = "ConvColetorIt";
} // namespace table

namespace column {
inline constexpr char CodEmpresa[] = "CodEmpresa";
inline constexpr char NomeEmpresa[] = "NomeEmpresa";
inline constexpr char CodCausa[] = "CodCausa";
inline constexpr char Descricao[] = "Descricao";
inline constexpr char CodProd[] = "CodProd";
inline constexpr char CodGrade[] = "CodGrade";
inline constexpr char CodBarra[] = "CodBarra";
inline constexpr char Grade[] = "Grade";
inline constexpr char Estoque[] = "Estoque";
inline constexpr char PrecoCusto[] = "PrecoCusto";
inline constexpr char Processado[] = "Processado";
inline constexpr char Quantidade[] = "Quantidade";
} // namespace column

// Named parameters: the column's name with a leading P.
namespace param {
inline constexpr char CodBarra[] = ":PCodBarra";
inline constexpr char Referencia[] = ":PReferencia";
inline constexpr char CodEmpresa[] = ":PCodEmpresa";
inline constexpr char DataInv[] = ":PDataInv";
inline constexpr char CodProd[] = ":PCodProd";
inline constexpr char CodGrade[] = ":PCodGrade";
inline constexpr char Documento[] = ":PDocumento";
inline constexpr char DataHora[] = ":PDataHora";
inline constexpr char Quantidade[] = ":PQuantidade";
inline constexpr char QuantKardex[] = ":PQuantKardex";
inline constexpr char CodCausa[] = ":PCodCausa";
inline constexpr char PrecoCusto[] = ":PPrecoCusto";
inline constexpr char UpperCodEmpresa[] = ":PCODEMPRESA";
inline constexpr char UpperCodProd[] = ":PCODPROD";
inline constexpr char UpperCodGrade[] = ":PCODGRADE";
inline constexpr char DataInicio[] = ":PDATAINICIO";
inline constexpr char UpperQuantidade[] = ":PQUANTIDADE";
inline constexpr char PrecoMedio[] = ":PPRECOMEDIO";
inline constexpr char UpperDataHora[] = ":PDATAHORA";
inline constexpr char DtMovimento[] = ":PDT_MOVIMENTO";
inline constexpr char TipoMov[] = ":PTIPOMOV";
inline constexpr char UpperDocumento[] = ":PDOCUMENTO";
} // namespace param

// Processado of a count row: it takes readings only while it is not processed. Spelt once, for
// the code and for the statements that write it and test it.
#define COLETOR_NOT_PROCESSED "N"
#define COLETOR_PROCESSED "S"

namespace value {
inline constexpr char NotProcessed[] = COLETOR_NOT_PROCESSED;
inline constexpr char Processed[] = COLETOR_PROCESSED;
inline constexpr char User[] = "ADMIN";
inline constexpr char AgentType[] = "A";
inline constexpr char AgentCode[] = "0000000000";
inline constexpr char OpeningMovementType[] = "04";
// Grade code of a product found by a reference search.
inline constexpr char NoGrade[] = "0000";
// Product key marker of a product whose count row is already processed.
inline constexpr char ProcessedMarker[] = "/*PRODPROCESSADO*/";
} // namespace value

// Width of the widest column an item code is searched in (CodBarra, Referencia, Reffabricante,
// Referenciaantiga), in characters, as the schema scripts declare it: a longer code can match
// nothing.
inline constexpr int SearchedCodeWidth = 30;

// Texts of the two look-up queries, opened at start-up.
namespace lookup {
inline constexpr char CausInv[] = "Select * from CausInv";
inline constexpr char Empresa[] = "Select CodEmpresa, NomeEmpresa From Filiais";
} // namespace lookup

} // namespace db
