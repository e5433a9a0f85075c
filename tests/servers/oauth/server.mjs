// The authorization server of the sign-in tests: authorization code with PKCE, device
// code, client credentials and refresh tokens (rotated on every use), revocation, JWT
// access tokens the mail servers check with the public key written to --keys.
//
// node server.mjs --port P --cert C --key K --keys DIR --ttl SECONDS
// Users: any login name, any password (the development login page). Clients:
//   qm-desktop / desktop-secret  confidential desktop client (code, device, refresh)
//   qm-public                    public client, no secret (code, device, refresh)
//   qm-service / service-secret  client credentials; its tokens name the mailbox u61
import { generateKeyPairSync } from 'node:crypto';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import https from 'node:https';
import { parseArgs } from 'node:util';
import Provider from 'oidc-provider';

const { values: args } = parseArgs({
  options: {
    port: { type: 'string' },
    cert: { type: 'string' },
    key: { type: 'string' },
    keys: { type: 'string' },
    ttl: { type: 'string', default: '3600' },
  },
});
const issuer = `https://127.0.0.1:${args.port}`;
const kid = 'qm-test-key';
const { privateKey, publicKey } = generateKeyPairSync('rsa', { modulusLength: 2048 });
const jwk = { ...privateKey.export({ format: 'jwk' }), kid, alg: 'RS256', use: 'sig' };
const publicJwk = { ...publicKey.export({ format: 'jwk' }), kid, alg: 'RS256', use: 'sig' };

// Dovecot looks the key up by azp (none here: "default"), algorithm and key id.
mkdirSync(`${args.keys}/default/RS256`, { recursive: true });
writeFileSync(`${args.keys}/default/RS256/${kid}`, publicKey.export({ format: 'pem', type: 'spki' }));
writeFileSync(`${args.keys}/jwks.json`, JSON.stringify({ keys: [publicJwk] }));

const ttl = Number(args.ttl);
const resource = 'urn:quillmarc:mail';
const mailboxOf = { 'qm-service': 'u61' };

const provider = new Provider(issuer, {
  clients: [
    {
      client_id: 'qm-desktop',
      client_secret: 'desktop-secret',
      application_type: 'native',
      token_endpoint_auth_method: 'client_secret_post',
      grant_types: ['authorization_code', 'refresh_token', 'urn:ietf:params:oauth:grant-type:device_code'],
      response_types: ['code'],
      redirect_uris: ['http://127.0.0.1/'],
    },
    {
      client_id: 'qm-public',
      application_type: 'native',
      token_endpoint_auth_method: 'none',
      grant_types: ['authorization_code', 'refresh_token', 'urn:ietf:params:oauth:grant-type:device_code'],
      response_types: ['code'],
      redirect_uris: ['http://127.0.0.1/'],
    },
    {
      client_id: 'qm-service',
      client_secret: 'service-secret',
      token_endpoint_auth_method: 'client_secret_post',
      grant_types: ['client_credentials'],
      response_types: [],
      redirect_uris: [],
    },
  ],
  jwks: { keys: [jwk] },
  scopes: ['openid', 'offline_access'],
  findAccount: async (_ctx, id) => ({ accountId: id, claims: async () => ({ sub: id }) }),
  features: {
    devInteractions: { enabled: true },
    deviceFlow: { enabled: true },
    clientCredentials: { enabled: true },
    revocation: { enabled: true },
    resourceIndicators: {
      enabled: true,
      defaultResource: () => resource,
      useGrantedResource: () => true,
      getResourceServerInfo: () => ({
        scope: 'pop smtp',
        audience: resource,
        accessTokenTTL: ttl,
        accessTokenFormat: 'jwt',
        jwt: { sign: { alg: 'RS256' } },
      }),
    },
  },
  ttl: { RefreshToken: 14 * 24 * 3600, DeviceCode: 600, Interaction: 600, Session: 3600, Grant: 14 * 24 * 3600 },
  rotateRefreshToken: () => true,
  formats: {
    customizers: {
      // Dovecot wants "JWT", not RFC 9068's "at+jwt"; an app-only token names its mailbox.
      jwt: async (_ctx, token, structured) => {
        structured.header = { typ: 'JWT' };
        if (token.kind === 'ClientCredentials') structured.payload.sub = mailboxOf[token.clientId];
      },
    },
  },
});
provider.on('server_error', (_ctx, err) => console.error('server_error', err));

https
  .createServer({ cert: readFileSync(args.cert), key: readFileSync(args.key) }, provider.callback())
  .listen(Number(args.port), '127.0.0.1', () => console.log(`listening on ${issuer}`));
