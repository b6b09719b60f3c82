-- Tables the tool reads and writes, with the indexes its searches use.
CREATE TABLE Filiais (
    CodEmpresa VARCHAR(2) NOT NULL PRIMARY KEY,
    NomeEmpresa VARCHAR(60) NOT NULL
);
CREATE TABLE CausInv (
    CodCausa VARCHAR(3) NOT NULL PRIMARY KEY,
    Descricao VARCHAR(60) NOT NULL
);
CREATE TABLE Produto (
    CodProd VARCHAR(14) NOT NULL PRIMARY KEY,
    Descricao VARCHAR(80),
    Grade INTEGER NOT NULL DEFAULT 1,
    Referencia VARCHAR(30),
    Reffabricante VARCHAR(30)
);
CREATE TABLE ProdGrade (
    CodProd VARCHAR(14) NOT NULL REFERENCES Produto (CodProd),
    CodGrade VARCHAR(4) NOT NULL,
    CodBarra VARCHAR(30),
    PRIMARY KEY (CodProd, CodGrade)
);
CREATE TABLE Relacionarefant (
    ReferenciaAtual VARCHAR(30) NOT NULL,
    Referenciaantiga VARCHAR(30) NOT NULL,
    PRIMARY KEY (Referenciaantiga, ReferenciaAtual)
);
CREATE TABLE CompProd (
    CodEmpresa VARCHAR(2) NOT NULL,
    CodProd VARCHAR(14) NOT NULL,
    CodGrade VARCHAR(4) NOT NULL,
    Estoque DOUBLE PRECISION,
    PrecoCusto DOUBLE PRECISION,
    PRIMARY KEY (CodEmpresa, CodProd, CodGrade)
);
CREATE TABLE Inventa (
    CodEmpresa VARCHAR(2) NOT NULL,
    DataInv DATE NOT NULL,
    Documento VARCHAR(10) NOT NULL,
    CodProd VARCHAR(14) NOT NULL,
    CodGrade VARCHAR(4) NOT NULL,
    Processado CHAR(1) NOT NULL,
    DataHora VARCHAR(20),
    Usuario VARCHAR(20),
    Quantidade DOUBLE PRECISION,
    QuantKardex DOUBLE PRECISION,
    PrecoCusto DOUBLE PRECISION,
    CodCausa VARCHAR(3),
    PRIMARY KEY (CodEmpresa, DataInv, Documento, CodProd, CodGrade)
);
CREATE TABLE MvGeral (
    CODEMPRESA VARCHAR(2) NOT NULL,
    CODPROD VARCHAR(14) NOT NULL,
    CODGRADE VARCHAR(4) NOT NULL,
    DT_MOVIMENTO TIMESTAMP NOT NULL,
    TIPOAGENTE CHAR(1),
    CODIGOAGENTE VARCHAR(10),
    TIPOMOV VARCHAR(2) NOT NULL,
    DOCUMENTO VARCHAR(20),
    QUANTIDADE DOUBLE PRECISION,
    PRECOMEDIO DOUBLE PRECISION
);
CREATE TABLE INCIEST (
    CODEMPRESA VARCHAR(2) NOT NULL,
    CODPROD VARCHAR(14) NOT NULL,
    CODGRADE VARCHAR(4) NOT NULL,
    DATAINICIO TIMESTAMP NOT NULL,
    QUANTIDADE DOUBLE PRECISION,
    PRECOMEDIO DOUBLE PRECISION,
    USUARIO VARCHAR(20),
    DATAHORA VARCHAR(20),
    PRIMARY KEY (CODEMPRESA, CODPROD, CODGRADE)
);
CREATE INDEX ProdGrade_CodBarra_Upper ON ProdGrade (upper(CodBarra));
CREATE INDEX Produto_Referencia ON Produto (Referencia);
CREATE INDEX Produto_Referencia_Upper ON Produto (upper(Referencia));
CREATE INDEX Produto_Reffabricante_Upper ON Produto (upper(Reffabricante));
CREATE INDEX Relacionarefant_Antiga_Upper ON Relacionarefant (upper(Referenciaantiga));
CREATE INDEX MvGeral_Produto ON MvGeral (CODEMPRESA, CODPROD, CODGRADE);
-- Diário das conversões: cada conversão gravada e as linhas de Inventa ou INCIEST que ela
-- escreveu, gravados na mesma transação das leituras. Uma conversão de vários arquivos tem uma
-- linha por arquivo, todas com o IdLote da primeira, que guarda as linhas escritas, cada uma com
-- a contagem de antes e a de depois da conversão (Antes nulo: a conversão criou a linha).
-- Opcional: sem estas tabelas o programa converte sem diário.
CREATE TABLE ConvColetor (
    IdConv VARCHAR(36) NOT NULL PRIMARY KEY,
    DataHora VARCHAR(23) NOT NULL,
    Estacao VARCHAR(60),
    Usuario VARCHAR(60),
    Modo CHAR(1) NOT NULL,
    CodEmpresa VARCHAR(2) NOT NULL,
    CodCausa VARCHAR(3) NOT NULL,
    DataInv DATE NOT NULL,
    Arquivo VARCHAR(255),
    Sha256 VARCHAR(64) NOT NULL,
    Linhas INTEGER NOT NULL,
    Gravadas INTEGER NOT NULL,
    Rejeitadas INTEGER NOT NULL,
    Situacao CHAR(1) NOT NULL,
    DesfeitoPor VARCHAR(60),
    DesfeitoEm VARCHAR(23),
    IdLote VARCHAR(36)
);
-- No foreign key to ConvColetor: the run writes its entry and its rows in one transaction and
-- nothing removes an entry, while a server's check of every row, and on some its own index for
-- the key, cost a run a third of the time it spends writing its rows.
-- No index by product either: an undo finds the rows it shares with other runs through those
-- runs of its inventory, by this table's key, where such an index cost every run a quarter of
-- its rows' writing.
-- Without a rowid the rows live in the tree of their key, so a run writes each row once and not
-- into a table and its key's index both.
CREATE TABLE ConvColetorIt (
    IdConv VARCHAR(36) NOT NULL,
    CodProd VARCHAR(14) NOT NULL,
    CodGrade VARCHAR(4) NOT NULL,
    Quantidade DOUBLE PRECISION NOT NULL,
    Criou CHAR(1) NOT NULL,
    Antes DOUBLE PRECISION,
    Depois DOUBLE PRECISION,
    PRIMARY KEY (IdConv, CodProd, CodGrade)
) WITHOUT ROWID;
CREATE INDEX ConvColetor_Sha256 ON ConvColetor (Sha256);
CREATE INDEX ConvColetor_Lote ON ConvColetor (IdLote);
