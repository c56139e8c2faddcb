'use strict';
// Vesper's schedule from another device: the token is asked once and kept
// for this browser tab only (sessionStorage).
const $ = (id) => document.getElementById(id);
let editing = null; // the start of the event being edited

function say(text, info) {
  $('message').textContent = text || '';
  $('message').className = info ? 'info' : '';
}

async function api(method, path, body) {
  const token = sessionStorage.getItem('vesperToken');
  const options = { method, headers: { Authorization: 'Bearer ' + token } };
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(body);
  }
  const response = await fetch('/api/' + path, options);
  const data = await response.json().catch(() => ({}));
  if (response.status === 401) {
    sessionStorage.removeItem('vesperToken');
    showLogin();
  }
  if (!response.ok) throw new Error(data.reason || data.error || response.statusText);
  return data;
}

function showLogin() {
  $('login').hidden = false;
  $('main').hidden = true;
}

function cell(row, text) {
  const td = document.createElement('td');
  td.textContent = text;
  row.appendChild(td);
  return td;
}

function button(text, action) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  b.addEventListener('click', action);
  return b;
}

async function refresh() {
  const [schedule, state] = await Promise.all([api('GET', 'schedule'), api('GET', 'state')]);
  const body = $('schedule').tBodies[0];
  body.replaceChildren();
  for (const e of schedule.events) {
    const row = document.createElement('tr');
    cell(row, e.when);
    cell(row, String(e.channel));
    cell(row, e.length);
    cell(row, e.repeat);
    cell(row, e.filename);
    const actions = cell(row, '');
    actions.className = 'actions';
    actions.append(button('Edit', () => openForm(e)),
                   button('Cancel', () => change('POST', 'schedule/' + e.start + '/cancel',
                                                 'Cancel this occurrence of ' + e.filename + '?')),
                   button('Delete', () => change('DELETE', 'schedule/' + e.start, 'Delete ' + e.filename + '?')));
    body.appendChild(row);
  }
  $('state').textContent = state.recording ? 'Recording ...' : 'Ready ...';
  $('state').className = state.recording ? 'recording' : '';
  $('recordNowButton').hidden = state.recording;
  $('cancelRecordingButton').hidden = !state.recording;
  $('state').title = state.freeSpace || '';
}

async function change(method, path, question) {
  if (question && !window.confirm(question)) return;
  try {
    await api(method, path);
    say('');
    await refresh();
  } catch (err) {
    say(err.message);
  }
}

function pad(n) { return String(n).padStart(2, '0'); }

function nextHalfHour() {
  const t = new Date();
  t.setSeconds(0, 0);
  t.setMinutes(t.getMinutes() < 30 ? 30 : 60);
  return t.getFullYear() + '-' + pad(t.getMonth() + 1) + '-' + pad(t.getDate()) + 'T' + pad(t.getHours()) + ':' +
         pad(t.getMinutes());
}

function openForm(e) {
  editing = e ? e.start : null;
  $('formTitle').textContent = e ? 'Update Event' : 'Add Event';
  $('okButton').textContent = e ? 'Update' : 'Add';
  $('start').value = e ? e.start.slice(0, 16) : nextHalfHour();
  $('channel').value = e ? e.channel : 2;
  $('duration').value = e ? e.duration : 30;
  if (e && ![...$('repeat').options].some((o) => o.value === e.repeat)) $('repeat').add(new Option(e.repeat));
  $('repeat').value = e ? e.repeat : 'once';
  $('filename').value = e ? e.filename : 'default.wmv';
  $('eventForm').hidden = false;
  $('start').focus();
}

async function submitForm(ev) {
  ev.preventDefault();
  const event = {
    start: $('start').value,
    channel: Number($('channel').value),
    duration: Number($('duration').value),
    repeat: $('repeat').value,
    filename: $('filename').value,
  };
  try {
    if (editing) await api('PUT', 'schedule/' + editing, event);
    else await api('POST', 'schedule', event);
    $('eventForm').hidden = true;
    say(editing ? 'Event updated.' : 'Event added.', true);
    await refresh();
  } catch (err) {
    say(err.message);
  }
}

async function start() {
  $('login').hidden = true;
  $('main').hidden = false;
  try {
    await refresh();
  } catch (err) {
    say(err.message);
  }
}

document.addEventListener('DOMContentLoaded', () => {
  $('loginForm').addEventListener('submit', (ev) => {
    ev.preventDefault();
    sessionStorage.setItem('vesperToken', $('token').value.trim());
    $('token').value = '';
    start();
  });
  $('addButton').addEventListener('click', () => openForm(null));
  $('closeButton').addEventListener('click', () => { $('eventForm').hidden = true; });
  $('eventForm').addEventListener('submit', submitForm);
  $('recordNowButton').addEventListener('click', () => change('POST', 'recording'));
  $('cancelRecordingButton').addEventListener('click',
    () => change('DELETE', 'recording', 'Are you sure you want to CANCEL current recording?'));
  if (sessionStorage.getItem('vesperToken')) start();
  else showLogin();
  setInterval(() => { if (!$('main').hidden) refresh().catch(() => {}); }, 10000);
});
