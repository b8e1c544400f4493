'use strict';
// Holds the TDS test server to a TDS client written by others (tedious), so that it answers as
// SQL Server does and not merely as FreeTDS expects. Run by ctest; tedious comes from
// scripts/setup.sh (NODE_PATH points at it).
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const path = require('node:path');
const readline = require('node:readline');
const { test, before, after } = require('node:test');
let tedious;
try {
  tedious = require('tedious');
} catch (error) {
  console.error('tedious is missing (scripts/setup.sh installs it):', error.message);
  process.exit(1);
}
const { Connection, Request, TYPES } = tedious;

const FIXTURE = path.join(__dirname, '..', 'fixtures', 'tds_harbour.xml');

// tds_server.py on a loopback port; one command line in, one answer line out.
class TdsServer {
  static async start(...options) {
    const server = new TdsServer();
    server.process = spawn('python3', [path.join(__dirname, 'tds_server.py'), FIXTURE, ...options],
                           { stdio: ['pipe', 'pipe', 'inherit'] });
    server.lines = readline.createInterface({ input: server.process.stdout })[Symbol.asyncIterator]();
    server.port = Number((await server.lines.next()).value);
    return server;
  }

  async command(line) {
    this.process.stdin.write(line + '\n');
    return (await this.lines.next()).value;
  }

  stop() {
    this.process.stdin.end();
  }
}

function connect(port, { encrypt = false, trustServerCertificate = false } = {}) {
  const connection = new Connection({
    server: '127.0.0.1',
    authentication: { type: 'default', options: { userName: 'plain', password: 'pw' } },
    options: { port, database: 'Harbour', encrypt, trustServerCertificate, connectTimeout: 5000,
               requestTimeout: 10000 },
  });
  return new Promise((resolve, reject) => {
    connection.connect((error) => (error ? reject(error) : resolve(connection)));
  });
}

// Starts a batch (or, with parameters, sp_executesql). `result` resolves with its rows as
// objects, the numbers of the errors the server sent and the request's own error code.
function start(connection, sql, parameters = {}) {
  const errors = [];
  const onError = (token) => errors.push(token.number);
  connection.on('errorMessage', onError);
  const rows = [];
  let request;
  const result = new Promise((resolve) => {
    request = new Request(sql, (error) => {
      connection.removeListener('errorMessage', onError);
      resolve({ rows, errors, code: error ? error.code : null });
    });
  });
  for (const [name, value] of Object.entries(parameters)) {
    request.addParameter(name, TYPES.NVarChar, value);
  }
  request.on('row', (columns) => {
    rows.push(Object.fromEntries(columns.map((c) => [c.metadata.colName, c.value])));
  });
  if (Object.keys(parameters).length) connection.execSql(request);
  else connection.execSqlBatch(request);
  return { request, result };
}

function run(connection, sql, parameters) {
  return start(connection, sql, parameters).result;
}

let server;
before(async () => { server = await TdsServer.start('--encryption', 'offer'); });
after(() => server.stop());

test('logs in without and with TLS and reads the catalogue', async () => {
  for (const options of [{}, { encrypt: true, trustServerCertificate: true }]) {
    await server.command('forget');
    const connection = await connect(server.port, options);
    try {
      const tables = await run(connection,
        'SELECT * FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_SCHEMA,TABLE_NAME');
      assert.deepEqual(tables, { errors: [], code: null, rows: [
        { TABLE_CATALOG: 'Harbour', TABLE_SCHEMA: 'dbo', TABLE_NAME: 'OpenOrders', TABLE_TYPE: 'VIEW' },
        { TABLE_CATALOG: 'Harbour', TABLE_SCHEMA: 'dbo', TABLE_NAME: 'Orders', TABLE_TYPE: 'BASE TABLE' },
        { TABLE_CATALOG: 'Harbour', TABLE_SCHEMA: 'sales', TABLE_NAME: 'Lines', TABLE_TYPE: 'BASE TABLE' },
      ] });
      const altered = await run(connection,
        'SELECT LAST_ALTERED FROM INFORMATION_SCHEMA.ROUTINES WHERE SPECIFIC_SCHEMA=@P1 AND SPECIFIC_NAME=@P2',
        { P1: 'dbo', P2: 'GetDatabaseInfo' });
      assert.deepEqual(altered.rows, [{ LAST_ALTERED: new Date('2016-02-29T08:15:30Z') }]);
      // A view's whole definition (nvarchar(max), sent in chunks) and its module's settings.
      const views = await run(connection, "SELECT TABLE_SCHEMA,TABLE_NAME,OBJECT_DEFINITION(OBJECT_ID("
        + "QUOTENAME(TABLE_SCHEMA)+'.'+QUOTENAME(TABLE_NAME))) AS VIEW_DEFINITION,m.uses_quoted_identifier AS "
        + "USES_QUOTED_IDENTIFIER,m.uses_ansi_nulls AS USES_ANSI_NULLS,OBJECTPROPERTY(m.object_id,'IsIndexed') AS "
        + 'IS_INDEXED FROM INFORMATION_SCHEMA.VIEWS LEFT JOIN sys.sql_modules m ON m.object_id=OBJECT_ID('
        + "QUOTENAME(TABLE_SCHEMA)+'.'+QUOTENAME(TABLE_NAME)) ORDER BY TABLE_SCHEMA,TABLE_NAME");
      assert.deepEqual(views.rows, [{
        TABLE_SCHEMA: 'dbo', TABLE_NAME: 'OpenOrders',
        VIEW_DEFINITION: 'CREATE VIEW dbo.OpenOrders AS SELECT Id FROM dbo.Orders',
        USES_QUOTED_IDENTIFIER: true, USES_ANSI_NULLS: true, IS_INDEXED: 0,
      }]);
    } finally {
      connection.close();
    }
    const sessions = JSON.parse(await server.command('sessions'));
    assert.equal(sessions.at(-1), options.encrypt ? 'full' : 'none');
  }
});

// The first error each statement gets, numbered as SQL Server numbers it.
const ERRORS = [
  { sql: 'SELECT * FROM dbo.NoSuchTable', number: 208 },
  { sql: "SELECT 1; ALTER VIEW dbo.OpenOrders AS SELECT Id FROM dbo.Orders", number: 111 },
  { sql: "THROW 49999, 'below the range', 1", number: 35100 },
  { sql: "THROW 50001, 'in range', 1", number: 50001 },
  { sql: 'EXEC dbo.NoSuchProcedure', number: 2812 },
  { sql: 'SELECT @NotDeclared', number: 137 },
  { sql: "SELECT 'unclosed", number: 105 },
  { sql: 'COMMIT TRANSACTION', number: 3902 },
  { sql: "WAITFOR DELAY '25:00'", number: 148 },
  { sql: 'ALTER TABLE dbo.NoSuchTable DROP CONSTRAINT CK_X', number: 4902 },
  { sql: 'ALTER TABLE sales.Lines ADD CONSTRAINT CK_Lines_Qty CHECK ([Qty]>(0))', number: 2714 },
  { sql: 'ALTER TABLE sales.Lines ADD CONSTRAINT CK_Lines_Max CHECK ([Qty]<(5))', number: 547 },
  { sql: 'ALTER TABLE sales.Lines ADD CONSTRAINT CK_Lines_Price CHECK ([Price]>(0))', number: 207 },
  { sql: 'ALTER VIEW dbo.OpenOrders AS SELECT Id, Shipped FROM dbo.Orders', number: 207 },
  { sql: 'ALTER VIEW dbo.OpenOrders AS SELECT Id FROM dbo.Nowhere', number: 208 },
  { sql: 'ALTER VIEW dbo.OpenOrders AS SELECT Rounded(Total) AS T FROM dbo.Orders', number: 195 },
  { sql: 'SET NO_SUCH_OPTION ON', number: 195 },
  { sql: 'SET XACT_ABORT ONN', number: 102 },
  { sql: 'ALTER PROCEDURE dbo.GetDatabaseInfo SELECT 12 AS DatabaseVersion', number: 156 },
  { sql: 'CREATE PROCEDURE dbo.GetDatabaseInfo AS SELECT 12 AS DatabaseVersion', number: 2714 },
];

test('errors carry SQL Server numbers', async () => {
  const connection = await connect(server.port);
  try {
    for (const { sql, number } of ERRORS) {
      const result = await run(connection, sql);
      assert.deepEqual({ sql, first: result.errors[0], code: result.code },
                       { sql, first: number, code: 'EREQUEST' });
    }
  } finally {
    connection.close();
  }
});

// Lock trouble the server is told to cause: a deadlock victim and a lock request that timed out.
test('injected deadlocks and lock time-outs carry SQL Server numbers', async () => {
  const connection = await connect(server.port);
  try {
    for (const { rule, number } of [{ rule: 'deadlock', number: 1205 }, { rule: 'lock-timeout', number: 1222 }]) {
      assert.equal(await server.command(`${rule} CK_Lines_Min`), 'ok');
      const result = await run(connection, 'ALTER TABLE sales.Lines ADD CONSTRAINT CK_Lines_Min CHECK ([Qty]>(0))');
      assert.equal(await server.command('clear'), 'ok');
      assert.deepEqual({ rule, first: result.errors[0], code: result.code }, { rule, first: number, code: 'EREQUEST' });
    }
  } finally {
    connection.close();
  }
});

// A cancel stops the batch in its WAITFOR; under XACT_ABORT the constraint it dropped comes
// back with the rolled-back transaction, otherwise the transaction stays open.
test('a cancel aborts the running batch', async () => {
  for (const { xactAbort, trancount, constraintKept } of [
    { xactAbort: 'ON', trancount: 0, constraintKept: true },
    { xactAbort: 'OFF', trancount: 1, constraintKept: false },
  ]) {
    const connection = await connect(server.port);
    try {
      const started = Date.now();
      const batch = start(connection, `SET XACT_ABORT ${xactAbort}; BEGIN TRANSACTION;
        ALTER TABLE sales.Lines DROP CONSTRAINT CK_Lines_Qty; WAITFOR DELAY '00:00:20';
        COMMIT TRANSACTION`);
      setTimeout(() => connection.cancel(), 300);
      assert.equal((await batch.result).code, 'ECANCEL');
      assert.ok(batch.request.canceled);
      assert.ok(Date.now() - started < 10000, 'the cancel did not interrupt the WAITFOR');
      const state = await run(connection,
        "SELECT @@TRANCOUNT AS Open, OBJECT_ID('sales.CK_Lines_Qty') AS Id");
      assert.deepEqual({ xactAbort, open: state.rows[0].Open, kept: state.rows[0].Id !== null },
                       { xactAbort, open: trancount, kept: constraintKept });
      if (trancount) await run(connection, 'ROLLBACK TRANSACTION');
    } finally {
      connection.close();
    }
  }
});
