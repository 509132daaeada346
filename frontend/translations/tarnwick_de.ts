<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutDialog</name>
    <message>
        <source>Tarnwick (%1-bit)</source>
        <translation>Tarnwick (%1 Bit)</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Your mail, gathered and sent on your schedule.</source>
        <translation>Ihre E-Mail, abgeholt und versandt nach Ihrem Zeitplan.</translation>
    </message>
</context>
<context>
    <name>AccountPage</name>
    <message>
        <source>&amp;Title:</source>
        <translation>&amp;Titel:</translation>
    </message>
    <message>
        <source>(alternative client)</source>
        <translation>(anderes Programm)</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Konto</translation>
    </message>
    <message>
        <source>POP3 account</source>
        <translation>POP3-Konto</translation>
    </message>
    <message>
        <source>&amp;Server:</source>
        <translation>&amp;Server:</translation>
    </message>
    <message>
        <source>Pass&amp;word:</source>
        <translation>Pass&amp;wort:</translation>
    </message>
    <message>
        <source>What your e-mail program logs in to Tarnwick with, since the provider has no password for it.</source>
        <translation>Damit meldet sich Ihr E-Mail-Programm bei Tarnwick an, da der Anbieter dafür kein Passwort vergibt.</translation>
    </message>
    <message>
        <source>&amp;Local password:</source>
        <translation>&amp;Lokales Passwort:</translation>
    </message>
    <message>
        <source>Reading mail</source>
        <translation>E-Mail lesen</translation>
    </message>
    <message>
        <source>Alternative e-mail client</source>
        <translation>Anderes E-Mail-Programm</translation>
    </message>
    <message>
        <source>&amp;E-mail address:</source>
        <translation>&amp;E-Mail-Adresse:</translation>
    </message>
    <message>
        <source>&amp;Identity:</source>
        <translation>&amp;Identität:</translation>
    </message>
    <message>
        <source>E-mail &amp;client:</source>
        <translation>E-Mail-&amp;Programm:</translation>
    </message>
    <message>
        <source>IMAP account</source>
        <translation>IMAP-Konto</translation>
    </message>
</context>
<context>
    <name>AccountWizard</name>
    <message>
        <source>Add account wizard</source>
        <translation>Assistent zum Hinzufügen eines Kontos</translation>
    </message>
    <message>
        <source>Add Account Wizard</source>
        <translation>Konto-Assistent</translation>
    </message>
</context>
<context>
    <name>AdvancedPage</name>
    <message>
        <source>Advanced</source>
        <translation>Erweitert</translation>
    </message>
</context>
<context>
    <name>AlternativeClientDialog</name>
    <message>
        <source>Alternative e-mail client</source>
        <translation>Anderes E-Mail-Programm</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Durchsuchen...</translation>
    </message>
    <message>
        <source>&amp;Command line:</source>
        <translation>&amp;Befehlszeile:</translation>
    </message>
</context>
<context>
    <name>CheckWords</name>
    <message>
        <source>There is no server called %1. Check the server&apos;s name.</source>
        <translation>Es gibt keinen Server namens %1. Prüfen Sie den Namen des Servers.</translation>
    </message>
    <message>
        <source>The server&apos;s name %1 could not be looked up. Is this computer connected to the internet?</source>
        <translation>Der Servername %1 konnte nicht aufgelöst werden. Ist dieser Computer mit dem Internet verbunden?</translation>
    </message>
    <message>
        <source>%1 refused the connection on port %2. Check the port and the security your provider gives.</source>
        <translation>%1 hat die Verbindung auf Port %2 abgelehnt. Prüfen Sie den Port und die Sicherheit, die Ihr Anbieter angibt.</translation>
    </message>
    <message>
        <source>%1 did not answer on port %2 in time. Check the port, and whether this computer is online.</source>
        <translation>%1 hat auf Port %2 nicht rechtzeitig geantwortet. Prüfen Sie den Port und ob dieser Computer online ist.</translation>
    </message>
    <message>
        <source>%1 cannot be reached from here. Is this computer connected to the internet?</source>
        <translation>%1 ist von hier aus nicht erreichbar. Ist dieser Computer mit dem Internet verbunden?</translation>
    </message>
    <message>
        <source>%1 could not be reached on port %2 (%3).</source>
        <translation>%1 war auf Port %2 nicht erreichbar (%3).</translation>
    </message>
    <message>
        <source>The certificate is for another name: it does not name %1. Check the server&apos;s name with your provider.</source>
        <translation>Das Zertifikat gilt für einen anderen Namen: %1 ist darin nicht genannt. Prüfen Sie den Namen des Servers mit Ihrem Anbieter.</translation>
    </message>
    <message>
        <source>The certificate is for another name: %1 showed a certificate for %2. Check the server&apos;s name with your provider.</source>
        <translation>Das Zertifikat gilt für einen anderen Namen: %1 zeigte ein Zertifikat für %2. Prüfen Sie den Namen des Servers mit Ihrem Anbieter.</translation>
    </message>
    <message>
        <source>The certificate of %1 has expired (%2). Your provider must renew it.</source>
        <translation>Das Zertifikat von %1 ist abgelaufen (%2). Ihr Anbieter muss es erneuern.</translation>
    </message>
    <message>
        <source>The certificate of %1 is not valid yet. Check this computer&apos;s date and time.</source>
        <translation>Das Zertifikat von %1 ist noch nicht gültig. Prüfen Sie Datum und Uhrzeit dieses Computers.</translation>
    </message>
    <message>
        <source>The certificate of %1 is not trusted: it is self-signed. If your provider gave you its certificate, name that file as the CA file in Options.</source>
        <translation>Dem Zertifikat von %1 wird nicht vertraut: Es ist selbst signiert. Hat Ihr Anbieter Ihnen sein Zertifikat gegeben, tragen Sie diese Datei in den Einstellungen als CA-Datei ein.</translation>
    </message>
    <message>
        <source>The certificate of %1 is not trusted: it was issued by an authority this computer does not know. If your provider gave you its certificate, name that file as the CA file in Options.</source>
        <translation>Dem Zertifikat von %1 wird nicht vertraut: Es stammt von einer Stelle, die dieser Computer nicht kennt. Hat Ihr Anbieter Ihnen sein Zertifikat gegeben, tragen Sie diese Datei in den Einstellungen als CA-Datei ein.</translation>
    </message>
    <message>
        <source>The certificate of %1 has been revoked.</source>
        <translation>Das Zertifikat von %1 wurde widerrufen.</translation>
    </message>
    <message>
        <source>The certificate of %1 is not trusted (%2).</source>
        <translation>Dem Zertifikat von %1 wird nicht vertraut (%2).</translation>
    </message>
    <message>
        <source>No encrypted connection could be made with %1 on port %2 (%3). The port may expect STARTTLS or another security setting.</source>
        <translation>Mit %1 kam auf Port %2 keine verschlüsselte Verbindung zustande (%3). Der Port erwartet vielleicht STARTTLS oder eine andere Sicherheitseinstellung.</translation>
    </message>
    <message>
        <source>%1 does not offer STARTTLS on port %2, so the connection would not be encrypted. Choose TLS or the port your provider gives.</source>
        <translation>%1 bietet auf Port %2 kein STARTTLS an, die Verbindung wäre also nicht verschlüsselt. Wählen Sie TLS oder den Port, den Ihr Anbieter angibt.</translation>
    </message>
    <message>
        <source>%1 does not answer on port %2 as a %3 server does. Check the port and the security.</source>
        <translation>%1 antwortet auf Port %2 nicht wie ein %3-Server. Prüfen Sie den Port und die Sicherheit.</translation>
    </message>
    <message>
        <source>%1 stopped answering during the check (%2).</source>
        <translation>%1 hat während der Prüfung nicht mehr geantwortet (%2).</translation>
    </message>
    <message>
        <source>The server refused the password for %1.</source>
        <translation>Der Server hat das Passwort für %1 abgelehnt.</translation>
    </message>
    <message>
        <source>This provider needs an app password: %1.</source>
        <translation>Dieser Anbieter verlangt ein App-Passwort: %1.</translation>
    </message>
    <message>
        <source>Your provider says: %1.</source>
        <translation>Ihr Anbieter sagt dazu: %1.</translation>
    </message>
    <message>
        <source>Check the user name and the password.</source>
        <translation>Prüfen Sie Benutzername und Passwort.</translation>
    </message>
    <message>
        <source>The server does not take the user name %1 (%2).</source>
        <translation>Der Server nimmt den Benutzernamen %1 nicht an (%2).</translation>
    </message>
    <message>
        <source>The server refused the sign-in for %1. Sign in at the provider again.</source>
        <translation>Der Server hat die Anmeldung für %1 abgelehnt. Melden Sie sich erneut beim Anbieter an.</translation>
    </message>
    <message>
        <source>%1 offers no way of logging in that Tarnwick can use (%2).</source>
        <translation>%1 bietet keine Anmeldeart, die Tarnwick verwenden kann (%2).</translation>
    </message>
    <message>
        <source>The log-in was not tried: the password would travel unencrypted to %1. Choose TLS or STARTTLS.</source>
        <translation>Die Anmeldung wurde nicht versucht: Das Passwort ginge unverschlüsselt an %1. Wählen Sie TLS oder STARTTLS.</translation>
    </message>
    <message>
        <source>The check of %1 failed at the step &quot;%2&quot; (%3).</source>
        <translation>Die Prüfung von %1 scheiterte beim Schritt „%2“ (%3).</translation>
    </message>
    <message>
        <source>encrypted (%1), certificate trusted</source>
        <translation>verschlüsselt (%1), Zertifikat vertrauenswürdig</translation>
    </message>
    <message>
        <source>not encrypted</source>
        <translation>nicht verschlüsselt</translation>
    </message>
    <message>
        <source>the log-in with OAuth 2.0 is not tried here</source>
        <translation>die Anmeldung mit OAuth 2.0 wird hier nicht versucht</translation>
    </message>
    <message>
        <source>log-in accepted for %1</source>
        <translation>Anmeldung für %1 angenommen</translation>
    </message>
    <message>
        <source>no log-in (no user name is set)</source>
        <translation>keine Anmeldung (kein Benutzername eingetragen)</translation>
    </message>
    <message>
        <source>All is well: %1; %2.</source>
        <translation>Alles in Ordnung: %1; %2.</translation>
    </message>
</context>
<context>
    <name>CommandActions</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Accounts</source>
        <translation>&amp;Konten</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Online</source>
        <translation>Online</translation>
    </message>
    <message>
        <source>&amp;Cycle Now</source>
        <translation>&amp;Jetzt abgleichen</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Öffnen</translation>
    </message>
    <message>
        <source>Re&amp;sume</source>
        <translation>&amp;Fortsetzen</translation>
    </message>
    <message>
        <source>S&amp;uspend</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>C&amp;lose</source>
        <translation>S&amp;chließen</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Read mail</source>
        <translation>E-Mail &amp;lesen</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>O&amp;ptions</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>&amp;Properties</source>
        <translation>E&amp;igenschaften</translation>
    </message>
    <message>
        <source>&amp;Contents</source>
        <translation>&amp;Inhalt</translation>
    </message>
    <message>
        <source>&amp;Homepage</source>
        <translation>&amp;Homepage</translation>
    </message>
    <message>
        <source>&amp;Email support</source>
        <translation>&amp;Support per E-Mail</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;Über</translation>
    </message>
</context>
<context>
    <name>ConnectionPage</name>
    <message>
        <source>(no dial-up networking)</source>
        <translation>(keine Wählverbindung)</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Dial-up connection</source>
        <translation>Wählverbindung</translation>
    </message>
    <message>
        <source>&amp;Establish connection if necessary</source>
        <translation>Verbindung bei Bedarf &amp;herstellen</translation>
    </message>
    <message>
        <source>&amp;Connect with:</source>
        <translation>Verbinden &amp;mit:</translation>
    </message>
    <message>
        <source>Re&amp;tries:</source>
        <translation>Ver&amp;suche:</translation>
    </message>
    <message>
        <source>&amp;Pause:</source>
        <translation>&amp;Pause:</translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>Minuten</translation>
    </message>
    <message>
        <source>Outgoing mail</source>
        <translation>Ausgehende E-Mail</translation>
    </message>
    <message>
        <source>&amp;SMTP server:</source>
        <translation>&amp;SMTP-Server:</translation>
    </message>
    <message>
        <source>Securit&amp;y:</source>
        <translation>Sicher&amp;heit:</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>Pass&amp;word:</source>
        <translation>Pass&amp;wort:</translation>
    </message>
    <message>
        <source>Empty when the server takes mail without a log-in.</source>
        <translation>Leer lassen, wenn der Server E-Mail ohne Anmeldung annimmt.</translation>
    </message>
    <message>
        <source>Trusted certificates</source>
        <translation>Vertrauenswürdige Zertifikate</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Durchsuchen...</translation>
    </message>
    <message>
        <source>C&amp;A file:</source>
        <translation>C&amp;A-Datei:</translation>
    </message>
    <message>
        <source>Certificates (PEM) trusted besides the system&apos;s, for every server.</source>
        <translation>Zertifikate (PEM), denen neben denen des Systems für jeden Server vertraut wird.</translation>
    </message>
    <message>
        <source>&amp;Retry if the dial-up connection fails</source>
        <translation>&amp;Wiederholen, wenn die Wählverbindung fehlschlägt</translation>
    </message>
</context>
<context>
    <name>DeliveryFailureDialog</name>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <source>To</source>
        <translation>An</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Betreff</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Antwort</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>(Multiple recipients)</source>
        <translation>(Mehrere Empfänger)</translation>
    </message>
    <message>
        <source>Delivery Failure Notice</source>
        <translation>Unzustellbarkeitsmeldung</translation>
    </message>
    <message>
        <source>Tarnwick was unable to deliver the following mail item. Open the log for a further explanation of the problem.</source>
        <translation>Tarnwick konnte die folgende Nachricht nicht zustellen. Das Protokoll erklärt, warum.</translation>
    </message>
    <message>
        <source>Open &amp;log</source>
        <translation>&amp;Protokoll öffnen</translation>
    </message>
</context>
<context>
    <name>DesktopNotifications</name>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Read mail</source>
        <translation>E-Mail lesen</translation>
    </message>
</context>
<context>
    <name>FolderTree</name>
    <message>
        <source>Incoming</source>
        <translation>Eingang</translation>
    </message>
    <message>
        <source>Outgoing</source>
        <translation>Ausgang</translation>
    </message>
</context>
<context>
    <name>HelpWindow</name>
    <message>
        <source>Tarnwick Help</source>
        <translation>Tarnwick-Hilfe</translation>
    </message>
    <message>
        <source>&amp;Contents</source>
        <translation>&amp;Inhalt</translation>
    </message>
    <message>
        <source>&amp;Log</source>
        <translation>&amp;Protokoll</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>The help page %1 cannot be found.</source>
        <translation>Die Hilfeseite %1 wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The log %1 cannot be read.</source>
        <translation>Das Protokoll %1 kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Tarnwick Log - %1</source>
        <translation>Tarnwick-Protokoll – %1</translation>
    </message>
</context>
<context>
    <name>MailList</name>
    <message>
        <source>(Multiple recipients)</source>
        <translation>(Mehrere Empfänger)</translation>
    </message>
    <message>
        <source>The mail item cannot be read.</source>
        <translation>Die Nachricht kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Received</source>
        <translation>Empfangen</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Betreff</translation>
    </message>
    <message>
        <source>To</source>
        <translation>An</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Konto</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Anzeigen</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Confirm deletion of mail item &apos;%1&apos;:&apos;%2&apos;.
Click &apos;YES&apos; to delete, or &apos;NO&apos; to cancel.</source>
        <translation>Soll die Nachricht &apos;%1&apos;:&apos;%2&apos; wirklich gelöscht werden?
Klicken Sie auf &apos;Ja&apos; zum Löschen oder auf &apos;Nein&apos; zum Abbrechen.</translation>
    </message>
</context>
<context>
    <name>NewAccountSettingsDialog</name>
    <message>
        <source>New Account Settings for E-Mail Client</source>
        <translation>Einstellungen des neuen Kontos für das E-Mail-Programm</translation>
    </message>
    <message>
        <source>Set up an account in your e-mail program with these settings. It then fetches and sends its mail through Tarnwick.</source>
        <translation>Richten Sie in Ihrem E-Mail-Programm ein Konto mit diesen Einstellungen ein. Es holt und versendet seine E-Mail dann über Tarnwick.</translation>
    </message>
    <message>
        <source>E-mail program:</source>
        <translation>E-Mail-Programm:</translation>
    </message>
    <message>
        <source>Incoming mail server (POP3):</source>
        <translation>Posteingangsserver (POP3):</translation>
    </message>
    <message>
        <source>Outgoing mail server (SMTP):</source>
        <translation>Postausgangsserver (SMTP):</translation>
    </message>
    <message>
        <source>Incoming mail port (POP3):</source>
        <translation>Port für eingehende E-Mail (POP3):</translation>
    </message>
    <message>
        <source>Outgoing mail port (SMTP):</source>
        <translation>Port für ausgehende E-Mail (SMTP):</translation>
    </message>
    <message>
        <source>User name:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Encryption:</source>
        <translation>Verschlüsselung:</translation>
    </message>
    <message>
        <source>None (TLS and STARTTLS off)</source>
        <translation>Keine (TLS und STARTTLS aus)</translation>
    </message>
    <message>
        <source>Outgoing log-in (SMTP):</source>
        <translation>Anmeldung für ausgehende Mail (SMTP):</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>&amp;Launch client</source>
        <translation>Programm &amp;starten</translation>
    </message>
    <message>
        <source>Use the local password you gave this account in Tarnwick, not a password of your provider.</source>
        <translation>Verwenden Sie das lokale Passwort, das Sie diesem Konto in Tarnwick gegeben haben, nicht ein Passwort Ihres Anbieters.</translation>
    </message>
    <message>
        <source>Use the password of this account at your provider, the one you gave Tarnwick.</source>
        <translation>Verwenden Sie das Passwort dieses Kontos bei Ihrem Anbieter, das Sie auch Tarnwick gegeben haben.</translation>
    </message>
    <message>
        <source>One local SMTP server serves every account: Tarnwick sends each message through the outgoing server of the account whose address it comes from.</source>
        <translation>Ein lokaler SMTP-Server dient allen Konten: Tarnwick versendet jede Nachricht über den Postausgangsserver des Kontos, von dessen Adresse sie stammt.</translation>
    </message>
</context>
<context>
    <name>NewMailDialog</name>
    <message>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Betreff</translation>
    </message>
    <message>
        <source>&amp;Details</source>
        <translation>&amp;Details</translation>
    </message>
    <message>
        <source>&amp;Read</source>
        <translation>&amp;Lesen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Tarnwick - NEW MAIL!</source>
        <translation>Tarnwick – NEUE E-MAIL!</translation>
    </message>
    <message>
        <source>You have new mail from the following:</source>
        <translation>Sie haben neue E-Mail von:</translation>
    </message>
</context>
<context>
    <name>Notifications</name>
    <message>
        <source>1 new message</source>
        <translation>1 neue Nachricht</translation>
    </message>
    <message>
        <source>%1 new messages</source>
        <translation>%1 neue Nachrichten</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>und %1 weitere</translation>
    </message>
    <message>
        <source>Mail could not be delivered</source>
        <translation>E-Mail konnte nicht zugestellt werden</translation>
    </message>
    <message>
        <source>To: %1</source>
        <translation>An: %1</translation>
    </message>
    <message>
        <source>Subject: %1</source>
        <translation>Betreff: %1</translation>
    </message>
    <message>
        <source>The provider gave no reason.</source>
        <translation>Der Anbieter hat keinen Grund genannt.</translation>
    </message>
    <message>
        <source>The provider replied: %1</source>
        <translation>Der Anbieter antwortete: %1</translation>
    </message>
    <message>
        <source>The last mail cycle failed</source>
        <translation>Der letzte Abgleich ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>The last mail cycle failed: %1</source>
        <translation>Der letzte Abgleich ist fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>The log %1 says why.</source>
        <translation>Den Grund nennt das Protokoll %1.</translation>
    </message>
    <message>
        <source>Sign in again</source>
        <translation>Erneut anmelden</translation>
    </message>
    <message>
        <source>The provider no longer accepts the sign-in for outgoing mail. Sign in again with Sign in… on the Connection page of Options; the queue waits until then.</source>
        <translation>Der Anbieter akzeptiert die Anmeldung für ausgehende E-Mail nicht mehr. Melden Sie sich mit „Anmelden…“ auf der Seite „Verbindung“ der Einstellungen erneut an; bis dahin wartet die Warteschlange.</translation>
    </message>
    <message>
        <source>The provider no longer accepts the sign-in for the account %1. Sign in again with Sign in… on its Account page; its mail waits on the server until then.</source>
        <translation>Der Anbieter akzeptiert die Anmeldung für das Konto %1 nicht mehr. Melden Sie sich mit „Anmelden…“ auf dessen Seite „Konto“ erneut an; bis dahin bleibt seine E-Mail auf dem Server.</translation>
    </message>
</context>
<context>
    <name>NotificationsPage</name>
    <message>
        <source>Notifications</source>
        <translation>Benachrichtigungen</translation>
    </message>
    <message>
        <source>&amp;Display new mail alert dialog</source>
        <translation>Hinweisfenster bei neuer E-Mail &amp;anzeigen</translation>
    </message>
    <message>
        <source>&amp;Ping as each item arrives</source>
        <translation>&amp;Signalton bei jeder eingehenden Nachricht</translation>
    </message>
    <message>
        <source>&amp;Show desktop notifications</source>
        <translation>&amp;Desktop-Benachrichtigungen anzeigen</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Durchsuchen...</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>Testen</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>&amp;Alarm while new mail</source>
        <translation>&amp;Alarm, solange neue E-Mail wartet</translation>
    </message>
    <message>
        <source>A&amp;nnouncement</source>
        <translation>A&amp;nsage</translation>
    </message>
    <message>
        <source>&amp;Run program</source>
        <translation>Programm &amp;ausführen</translation>
    </message>
</context>
<context>
    <name>OutgoingFields</name>
    <message>
        <source>&amp;Same server as for all accounts (Options, Connection)</source>
        <translation>&amp;Derselbe Server wie für alle Konten (Einstellungen, Verbindung)</translation>
    </message>
    <message>
        <source>This account&apos;s &amp;own server:</source>
        <translation>&amp;Eigener Server dieses Kontos:</translation>
    </message>
    <message>
        <source>Se&amp;rver:</source>
        <translation>Se&amp;rver:</translation>
    </message>
    <message>
        <source>User name and password</source>
        <translation>Benutzername und Passwort</translation>
    </message>
    <message>
        <source>OAuth 2.0 (this account&apos;s sign-in)</source>
        <translation>OAuth 2.0 (die Anmeldung dieses Kontos)</translation>
    </message>
    <message>
        <source>Log in &amp;with:</source>
        <translation>Anmelden &amp;mit:</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>Pass&amp;word:</source>
        <translation>Pass&amp;wort:</translation>
    </message>
    <message>
        <source>Sign &amp;in…</source>
        <translation>An&amp;melden…</translation>
    </message>
    <message>
        <source>The account&apos;s sign-in at its provider serves its outgoing mail too.</source>
        <translation>Die Anmeldung des Kontos bei seinem Anbieter gilt auch für seine ausgehende E-Mail.</translation>
    </message>
    <message>
        <source>Signed in.</source>
        <translation>Angemeldet.</translation>
    </message>
    <message>
        <source>Not signed in: %1</source>
        <translation>Nicht angemeldet: %1</translation>
    </message>
    <message>
        <source>Mail whose sender is one of these addresses leaves through this account&apos;s server. Separate them with commas; *@example.net stands for every address at example.net.</source>
        <translation>E-Mail, deren Absender eine dieser Adressen ist, wird über den Server dieses Kontos versandt. Trennen Sie die Adressen durch Kommas; *@example.net steht für jede Adresse bei example.net.</translation>
    </message>
    <message>
        <source>Sends &amp;for:</source>
        <translation>Sendet &amp;für:</translation>
    </message>
    <message>
        <source>(the account&apos;s user name)</source>
        <translation>(der Benutzername des Kontos)</translation>
    </message>
    <message>
        <source>Enter the client id you registered with the provider on the Account page first.</source>
        <translation>Geben Sie zuerst auf der Seite „Konto“ die Client-ID ein, die Sie beim Anbieter registriert haben.</translation>
    </message>
    <message>
        <source>Sign in on the provider&apos;s page in your browser; Tarnwick waits for it.</source>
        <translation>Melden Sie sich im Browser auf der Seite des Anbieters an; Tarnwick wartet darauf.</translation>
    </message>
</context>
<context>
    <name>OutgoingPage</name>
    <message>
        <source>Outgoing</source>
        <translation>Ausgang</translation>
    </message>
    <message>
        <source>Outgoing mail server</source>
        <translation>Postausgangsserver</translation>
    </message>
</context>
<context>
    <name>QFileDialog</name>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Sound File (*.wav)</source>
        <translation>Klangdatei (*.wav)</translation>
    </message>
    <message>
        <source>Program File (*)</source>
        <translation>Programmdatei (*)</translation>
    </message>
    <message>
        <source>Certificate File (*.pem *.crt *.cer)</source>
        <translation>Zertifikatsdatei (*.pem *.crt *.cer)</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Durchsuchen</translation>
    </message>
</context>
<context>
    <name>RetrievalFields</name>
    <message>
        <source>Pro&amp;tocol:</source>
        <translation>Pro&amp;tokoll:</translation>
    </message>
    <message>
        <source>Fetching mail</source>
        <translation>E-Mail abholen</translation>
    </message>
    <message>
        <source>&amp;Folders to fetch:</source>
        <translation>Abzuholende &amp;Ordner:</translation>
    </message>
    <message>
        <source>Separate several folders with commas. ALL fetches every folder except those that only hold copies (such as All Mail, Trash and Junk).</source>
        <translation>Trennen Sie mehrere Ordner durch Kommas. ALL holt jeden Ordner ab außer denen, die nur Kopien enthalten (etwa Alle Nachrichten, Papierkorb und Spam).</translation>
    </message>
    <message>
        <source>&amp;Delete it at the provider</source>
        <translation>Beim Anbieter &amp;löschen</translation>
    </message>
    <message>
        <source>&amp;Leave it at the provider</source>
        <translation>Beim Anbieter &amp;belassen</translation>
    </message>
    <message>
        <source>Leave it, and delete it &amp;after</source>
        <translation>Belassen und löschen &amp;nach</translation>
    </message>
    <message>
        <source>Days before deleting</source>
        <translation>Tage bis zum Löschen</translation>
    </message>
    <message>
        <source>days</source>
        <translation>Tagen</translation>
    </message>
    <message>
        <source>Once a message is fetched and stored here:</source>
        <translation>Sobald eine Nachricht abgeholt und hier gespeichert ist:</translation>
    </message>
    <message>
        <source>(none: deleted)</source>
        <translation>(keiner: wird gelöscht)</translation>
    </message>
    <message>
        <source>Instead of deleting fetched mail, move it to this folder, for example an archive.</source>
        <translation>Abgeholte E-Mail in diesen Ordner verschieben, statt sie zu löschen, etwa in ein Archiv.</translation>
    </message>
    <message>
        <source>&amp;Move it to this folder instead of deleting it:</source>
        <translation>Statt zu löschen in diesen Ordner &amp;verschieben:</translation>
    </message>
</context>
<context>
    <name>SchedulingPage</name>
    <message>
        <source>Scheduling</source>
        <translation>Zeitplan</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>O&amp;nline check every</source>
        <translation>O&amp;nline prüfen alle</translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>Minuten</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>O&amp;ffline check every</source>
        <translation>O&amp;ffline prüfen alle</translation>
    </message>
    <message>
        <source>A check while no connection exists dials the dial-up connection chosen on the Connection page.</source>
        <translation>Eine Abfrage ohne bestehende Verbindung wählt die Wählverbindung, die auf der Seite „Verbindung“ gewählt ist.</translation>
    </message>
    <message>
        <source>Send mail as soon as the e-mail program &amp;hands it over, if online</source>
        <translation>E-Mails senden, sobald das E-Mail-Programm sie &amp;übergibt (wenn online)</translation>
    </message>
</context>
<context>
    <name>SelectAccountDialog</name>
    <message>
        <source>Select account</source>
        <translation>Konto auswählen</translation>
    </message>
    <message>
        <source>&amp;Select</source>
        <translation>&amp;Auswählen</translation>
    </message>
</context>
<context>
    <name>Shell</name>
    <message>
        <source>Trawlex did not start within %1 seconds.
Exiting Tarnwick</source>
        <translation>Trawlex ist nicht innerhalb von %1 Sekunden gestartet.
Tarnwick wird beendet</translation>
    </message>
    <message>
        <source>Failed to launch Trawlex [reason = %1]
Exiting Tarnwick</source>
        <translation>Trawlex konnte nicht gestartet werden [Grund = %1]
Tarnwick wird beendet</translation>
    </message>
    <message>
        <source>%1; log: %2</source>
        <translation>%1; Protokoll: %2</translation>
    </message>
    <message>
        <source>Last check: %1 %2</source>
        <translation>Letzte Prüfung: %1 %2</translation>
    </message>
</context>
<context>
    <name>SignInFields</name>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>OAuth 2.0 (the provider&apos;s sign-in page)</source>
        <translation>OAuth 2.0 (Anmeldeseite des Anbieters)</translation>
    </message>
    <message>
        <source>Other (the addresses in the settings)</source>
        <translation>Andere (die Adressen in den Einstellungen)</translation>
    </message>
    <message>
        <source>The client id you registered with the provider (see Help).</source>
        <translation>Die Client-ID, die Sie beim Anbieter registriert haben (siehe Hilfe).</translation>
    </message>
    <message>
        <source>Log in &amp;with:</source>
        <translation>Anmelden &amp;mit:</translation>
    </message>
    <message>
        <source>Pro&amp;vider:</source>
        <translation>An&amp;bieter:</translation>
    </message>
    <message>
        <source>Sign &amp;in…</source>
        <translation>An&amp;melden…</translation>
    </message>
    <message>
        <source>Client &amp;id:</source>
        <translation>Client-&amp;ID:</translation>
    </message>
    <message>
        <source>Signed in.</source>
        <translation>Angemeldet.</translation>
    </message>
    <message>
        <source>Not signed in: %1</source>
        <translation>Nicht angemeldet: %1</translation>
    </message>
    <message>
        <source>Enter the client id you registered with the provider first.</source>
        <translation>Geben Sie zuerst die Client-ID ein, die Sie beim Anbieter registriert haben.</translation>
    </message>
    <message>
        <source>Sign in on the provider&apos;s page in your browser; Tarnwick waits for it.</source>
        <translation>Melden Sie sich im Browser auf der Seite des Anbieters an; Tarnwick wartet darauf.</translation>
    </message>
</context>
<context>
    <name>SignInRun</name>
    <message>
        <source>trawlexctl could not be started.</source>
        <translation>trawlexctl konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The sign-in did not finish.</source>
        <translation>Die Anmeldung wurde nicht abgeschlossen.</translation>
    </message>
    <message>
        <source>trawlexctl handed back no tokens.</source>
        <translation>trawlexctl hat keine Tokens zurückgegeben.</translation>
    </message>
</context>
<context>
    <name>SoundPlayer</name>
    <message>
        <source>The sound %1 cannot be played: there is no such file.</source>
        <translation>Der Klang %1 kann nicht abgespielt werden: Die Datei gibt es nicht.</translation>
    </message>
    <message>
        <source>No sound can be played: this computer has no audio output.</source>
        <translation>Es können keine Klänge abgespielt werden: Dieser Computer hat keine Audioausgabe.</translation>
    </message>
    <message>
        <source>The sound %1 cannot be played: it is no WAV sound.</source>
        <translation>Der Klang %1 kann nicht abgespielt werden: Er ist kein WAV-Klang.</translation>
    </message>
</context>
<context>
    <name>Status</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Establishing connection...</source>
        <translation>Verbindung wird hergestellt...</translation>
    </message>
    <message>
        <source>Sending outgoing mail...</source>
        <translation>Ausgehende E-Mail wird gesendet...</translation>
    </message>
    <message>
        <source>Checking for new e-mail...</source>
        <translation>Neue E-Mail wird abgerufen...</translation>
    </message>
    <message>
        <source>Failure during cycle (refer to log file for further info)</source>
        <translation>Fehler beim Abgleich (Näheres in der Protokolldatei)</translation>
    </message>
    <message>
        <source>DUN connect failure - pausing for retry</source>
        <translation>Einwahl fehlgeschlagen – Pause vor dem nächsten Versuch</translation>
    </message>
    <message>
        <source>DUN connect failure - retry exhausted</source>
        <translation>Einwahl fehlgeschlagen – keine Versuche mehr</translation>
    </message>
</context>
<context>
    <name>Tarnwick</name>
    <message>
        <source>You are already running Tarnwick and can not have more than one instance running!</source>
        <translation>Tarnwick läuft bereits; es kann nur eine Instanz laufen!</translation>
    </message>
    <message>
        <source>Do you really wish to shutdown Tarnwick?</source>
        <translation>Möchten Sie Tarnwick wirklich beenden?</translation>
    </message>
    <message>
        <source>Failed to launch mail program &apos;%1&apos; [reason = %2]</source>
        <translation>Das E-Mail-Programm &apos;%1&apos; konnte nicht gestartet werden [Grund = %2]</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Select account whose mail you wish to read:</source>
        <translation>Wählen Sie das Konto, dessen E-Mail Sie lesen möchten:</translation>
    </message>
    <message>
        <source>Confirm that you wish to remove account &apos;%1&apos;.
Click YES to remove.</source>
        <translation>Soll das Konto &apos;%1&apos; wirklich entfernt werden?
Klicken Sie zum Entfernen auf JA.</translation>
    </message>
    <message>
        <source>Tarnwick - Account Removal</source>
        <translation>Tarnwick – Konto entfernen</translation>
    </message>
    <message>
        <source>Account properties</source>
        <translation>Kontoeigenschaften</translation>
    </message>
    <message>
        <source>Sign in on the provider&apos;s page in your browser.</source>
        <translation>Melden Sie sich im Browser auf der Seite des Anbieters an.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>The account is not signed in yet: %1 Sign in with Sign in… on its Account page.</source>
        <translation>Das Konto ist noch nicht angemeldet: %1 Melden Sie es mit „Anmelden…“ auf seiner Seite „Konto“ an.</translation>
    </message>
    <message>
        <source>The account could not be created (refer to log file for further info).</source>
        <translation>Das Konto konnte nicht angelegt werden (Näheres in der Protokolldatei).</translation>
    </message>
    <message>
        <source>Tarnwick Options</source>
        <translation>Tarnwick-Einstellungen</translation>
    </message>
    <message>
        <source>The settings could not be stored (refer to log file for further info).</source>
        <translation>Die Einstellungen konnten nicht gespeichert werden (Näheres in der Protokolldatei).</translation>
    </message>
    <message>
        <source>Please enter a port number from 1 to 65535.</source>
        <translation>Bitte geben Sie eine Portnummer von 1 bis 65535 ein.</translation>
    </message>
    <message>
        <source>Please enter the address of your SMTP mail server for outgoing mail to be delivered. (smtp.example.net)</source>
        <translation>Bitte geben Sie die Adresse Ihres SMTP-Servers ein, damit ausgehende E-Mail zugestellt werden kann. (smtp.example.net)</translation>
    </message>
    <message>
        <source>Minimum value is 1 minute. Offline period must not be less than online period.</source>
        <translation>Der kleinste Wert ist 1 Minute. Der Offline-Abstand darf nicht kürzer als der Online-Abstand sein.</translation>
    </message>
    <message>
        <source>Maximum value is 35791 minutes.</source>
        <translation>Der größte Wert ist 35791 Minuten.</translation>
    </message>
    <message>
        <source>The password and the mail travel unencrypted.</source>
        <translation>Passwort und E-Mail werden unverschlüsselt übertragen.</translation>
    </message>
    <message>
        <source>Please enter the number of retries, at least 1.</source>
        <translation>Bitte geben Sie die Zahl der Versuche ein, mindestens 1.</translation>
    </message>
    <message>
        <source>Please enter a pause from 1 to 35791 minutes.</source>
        <translation>Bitte geben Sie eine Pause von 1 bis 35791 Minuten ein.</translation>
    </message>
    <message>
        <source>The user name is too long: at most 259 bytes can be stored.</source>
        <translation>Der Benutzername ist zu lang: Es können höchstens 259 Bytes gespeichert werden.</translation>
    </message>
    <message>
        <source>The password is too long: at most 259 bytes can be stored.</source>
        <translation>Das Passwort ist zu lang: Es können höchstens 259 Bytes gespeichert werden.</translation>
    </message>
    <message>
        <source>The CA file name is too long: at most 259 bytes can be stored.</source>
        <translation>Der Name der CA-Datei ist zu lang: Es können höchstens 259 Bytes gespeichert werden.</translation>
    </message>
    <message>
        <source>The CA file cannot be read: %1</source>
        <translation>Die CA-Datei kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>Please enter an account title or click Cancel to exit wizard.</source>
        <translation>Bitte geben Sie einen Kontotitel ein oder klicken Sie auf „Abbrechen“, um den Assistenten zu verlassen.</translation>
    </message>
    <message>
        <source>Please don&apos;t include &apos;@&apos;, &apos;?&apos;, &apos;*&apos; or space characters in the account title.</source>
        <translation>Der Kontotitel darf weder &apos;@&apos;, &apos;?&apos;, &apos;*&apos; noch Leerzeichen enthalten.</translation>
    </message>
    <message>
        <source>An account with the title you have entered already exists.</source>
        <translation>Ein Konto mit diesem Titel gibt es bereits.</translation>
    </message>
    <message>
        <source>The title &quot;outgoing&quot; is kept for the outgoing mail server. Please choose another title.</source>
        <translation>Der Titel „outgoing“ ist für den Postausgangsserver reserviert. Bitte wählen Sie einen anderen Titel.</translation>
    </message>
    <message>
        <source>Please don&apos;t include &apos;@&apos;, &apos;?&apos;, &apos;*&apos; or space characters in the server name.</source>
        <translation>Der Servername darf weder &apos;@&apos;, &apos;?&apos;, &apos;*&apos; noch Leerzeichen enthalten.</translation>
    </message>
    <message>
        <source>Please enter your POP3 account SERVER, USERNAME and PASSWORD. Click Cancel to exit from the wizard.</source>
        <translation>Bitte geben Sie SERVER, BENUTZERNAME und PASSWORT Ihres POP3-Kontos ein. Mit „Abbrechen“ verlassen Sie den Assistenten.</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Securit&amp;y:</source>
        <translation>Sicher&amp;heit:</translation>
    </message>
    <message>
        <source>Please enter a number of days from 1 to 3650.</source>
        <translation>Bitte geben Sie eine Anzahl Tage von 1 bis 3650 ein.</translation>
    </message>
    <message>
        <source>The list of folders is too long: at most 198 bytes can be stored.</source>
        <translation>Die Liste der Ordner ist zu lang: Es können höchstens 198 Bytes gespeichert werden.</translation>
    </message>
    <message>
        <source>The folder name is too long: at most 198 bytes can be stored.</source>
        <translation>Der Ordnername ist zu lang: Es können höchstens 198 Bytes gespeichert werden.</translation>
    </message>
    <message>
        <source>Mail cannot be moved to &quot;%1&quot;: that folder is fetched too, so its mail would be fetched again. Please choose another folder.</source>
        <translation>E-Mail kann nicht nach „%1“ verschoben werden: Dieser Ordner wird ebenfalls abgeholt, seine E-Mail würde also erneut abgeholt. Bitte wählen Sie einen anderen Ordner.</translation>
    </message>
    <message>
        <source>Please enter the name of this account&apos;s own outgoing mail server, or choose the same server as for all accounts.</source>
        <translation>Bitte geben Sie den Namen des eigenen Postausgangsservers dieses Kontos ein oder wählen Sie denselben Server wie für alle Konten.</translation>
    </message>
    <message>
        <source>The server name is too long: at most 198 bytes can be stored.</source>
        <translation>Der Servername ist zu lang: Es können höchstens 198 Bytes gespeichert werden.</translation>
    </message>
    <message>
        <source>The user name is too long: at most 198 bytes can be stored.</source>
        <translation>Der Benutzername ist zu lang: Es können höchstens 198 Bytes gespeichert werden.</translation>
    </message>
    <message>
        <source>The password is too long: at most 198 bytes can be stored.</source>
        <translation>Das Passwort ist zu lang: Es können höchstens 198 Bytes gespeichert werden.</translation>
    </message>
    <message>
        <source>The list of addresses is too long: at most 2000 characters.</source>
        <translation>Die Liste der Adressen ist zu lang: höchstens 2000 Zeichen.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is neither an e-mail address (jo@example.net) nor a pattern of a domain (*@example.net).</source>
        <translation>„%1“ ist weder eine E-Mail-Adresse (jo@example.net) noch ein Muster einer Domain (*@example.net).</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not an e-mail address. Enter one such as name@example.org, or leave it empty to enter the servers yourself.</source>
        <translation>„%1“ ist keine E-Mail-Adresse. Geben Sie eine wie name@example.org ein, oder lassen Sie das Feld leer, um die Server selbst einzugeben.</translation>
    </message>
    <message>
        <source>The account was created, but not all of its settings could be stored (refer to log file for further info). Check them on its Account page.</source>
        <translation>Das Konto wurde angelegt, aber nicht alle seine Einstellungen konnten gespeichert werden (Einzelheiten in der Protokolldatei). Prüfen Sie sie auf seiner Seite „Konto“.</translation>
    </message>
    <message>
        <source>The outgoing server is not signed in yet (refer to log file for further info). Sign it in with Sign in… on the Connection page of Options.</source>
        <translation>Der Postausgangsserver ist noch nicht angemeldet (Einzelheiten in der Protokolldatei). Melden Sie ihn mit „Anmelden…“ auf der Seite „Verbindung“ der Einstellungen an.</translation>
    </message>
</context>
<context>
    <name>Tray</name>
    <message>
        <source>connecting</source>
        <translation>Verbindungsaufbau</translation>
    </message>
    <message>
        <source>sending mail</source>
        <translation>E-Mail senden</translation>
    </message>
    <message>
        <source>checking mail</source>
        <translation>E-Mail abrufen</translation>
    </message>
    <message>
        <source>checking mail…</source>
        <translation>E-Mail wird abgerufen…</translation>
    </message>
    <message>
        <source>last cycle failed</source>
        <translation>letzter Abgleich fehlgeschlagen</translation>
    </message>
    <message>
        <source>last cycle failed: %1</source>
        <translation>letzter Abgleich fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>suspended</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <source>%1 unread</source>
        <translation>%1 ungelesen</translation>
    </message>
    <message>
        <source>last check %1</source>
        <translation>zuletzt geprüft %1</translation>
    </message>
    <message>
        <source>%1; failed step: %2</source>
        <translation>%1; fehlgeschlagener Schritt: %2</translation>
    </message>
    <message>
        <source>The dial-up connection failed; trying again after a pause</source>
        <translation>Die Wählverbindung ist fehlgeschlagen; neuer Versuch nach einer Pause</translation>
    </message>
    <message>
        <source>The dial-up connection failed; no retries left</source>
        <translation>Die Wählverbindung ist fehlgeschlagen; keine Wiederholungen mehr</translation>
    </message>
</context>
<context>
    <name>WizardCheckPage</name>
    <message>
        <source>Incoming mail</source>
        <translation>Eingehende E-Mail</translation>
    </message>
    <message>
        <source>Outgoing mail</source>
        <translation>Ausgehende E-Mail</translation>
    </message>
    <message>
        <source>Tarnwick tries the servers with what you entered, as it will when it fetches and sends your mail.</source>
        <translation>Tarnwick probiert die Server mit Ihren Angaben aus, so wie beim Abholen und Versenden Ihrer E-Mail.</translation>
    </message>
    <message>
        <source>Set up the account &amp;anyway</source>
        <translation>Konto &amp;trotzdem einrichten</translation>
    </message>
    <message>
        <source>For example when this computer is offline: Tarnwick tries the servers again each time it fetches mail, and its log says what fails.</source>
        <translation>Zum Beispiel, wenn dieser Computer offline ist: Tarnwick versucht die Server bei jedem Abholen erneut, und sein Protokoll sagt, was scheitert.</translation>
    </message>
    <message>
        <source>&amp;Check again</source>
        <translation>Erneut &amp;prüfen</translation>
    </message>
    <message>
        <source>Checking…</source>
        <translation>Wird geprüft…</translation>
    </message>
    <message>
        <source>%1: %2, port %3</source>
        <translation>%1: %2, Port %3</translation>
    </message>
    <message>
        <source>No answer in time. Is this computer connected to the internet?</source>
        <translation>Keine Antwort in der vorgesehenen Zeit. Ist dieser Computer mit dem Internet verbunden?</translation>
    </message>
    <message>
        <source>Checking the servers…</source>
        <translation>Die Server werden geprüft…</translation>
    </message>
    <message>
        <source>There is no server to check.</source>
        <translation>Es gibt keinen Server zu prüfen.</translation>
    </message>
    <message>
        <source>All is well. Go on with Next.</source>
        <translation>Alles in Ordnung. Fahren Sie mit „Weiter“ fort.</translation>
    </message>
    <message>
        <source>The check found a problem. Go Back to correct it, or set up the account anyway and correct it later in its properties.</source>
        <translation>Die Prüfung hat ein Problem gefunden. Gehen Sie zurück, um es zu beheben, oder richten Sie das Konto trotzdem ein und beheben Sie es später in seinen Eigenschaften.</translation>
    </message>
    <message>
        <source>Waiting for the sign-in…</source>
        <translation>Warten auf die Anmeldung…</translation>
    </message>
    <message>
        <source>The sign-in at the provider did not succeed: %1</source>
        <translation>Die Anmeldung beim Anbieter ist nicht gelungen: %1</translation>
    </message>
    <message>
        <source>Sign in on the provider&apos;s page in your browser. The servers are checked once you have.</source>
        <translation>Melden Sie sich im Browser auf der Seite des Anbieters an. Danach werden die Server geprüft.</translation>
    </message>
</context>
<context>
    <name>WizardClientPage</name>
    <message>
        <source>E-mail &amp;program:</source>
        <translation>E-Mail-&amp;Programm:</translation>
    </message>
    <message>
        <source>Choose the e-mail program you read this account&apos;s mail with.</source>
        <translation>Wählen Sie das E-Mail-Programm, mit dem Sie die E-Mail dieses Kontos lesen.</translation>
    </message>
    <message>
        <source>Not listed? Choose it later as an alternative client in the account&apos;s properties.</source>
        <translation>Nicht aufgeführt? Wählen Sie es später in den Kontoeigenschaften als anderes E-Mail-Programm.</translation>
    </message>
</context>
<context>
    <name>WizardFetchingPage</name>
    <message>
        <source>Choose what becomes of your mail at the provider once Tarnwick has fetched and stored it; for IMAP also the folders it fetches.</source>
        <translation>Wählen Sie, was mit Ihrer Post beim Anbieter geschieht, sobald Tarnwick sie abgeholt und gespeichert hat; bei IMAP auch die Ordner, aus denen sie abgeholt wird.</translation>
    </message>
</context>
<context>
    <name>WizardFoundPage</name>
    <message>
        <source>Provider:</source>
        <translation>Anbieter:</translation>
    </message>
    <message>
        <source>POP3</source>
        <translation>POP3</translation>
    </message>
    <message>
        <source>IMAP</source>
        <translation>IMAP</translation>
    </message>
    <message>
        <source>Fetch &amp;with:</source>
        <translation>Abrufen &amp;mit:</translation>
    </message>
    <message>
        <source>Incoming mail:</source>
        <translation>Posteingang:</translation>
    </message>
    <message>
        <source>User name:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Outgoing mail:</source>
        <translation>Postausgang:</translation>
    </message>
    <message>
        <source>Note:</source>
        <translation>Hinweis:</translation>
    </message>
    <message>
        <source>&amp;Log in with:</source>
        <translation>&amp;Anmelden mit:</translation>
    </message>
    <message>
        <source>The client id you registered with the provider for Tarnwick.</source>
        <translation>Die Client-ID, die Sie beim Anbieter für Tarnwick registriert haben.</translation>
    </message>
    <message>
        <source>&amp;Client id:</source>
        <translation>&amp;Client-ID:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>Accept these settings with Next, or go Back and tick &quot;Enter the servers myself&quot; to enter others.</source>
        <translation>Übernehmen Sie diese Einstellungen mit „Weiter“, oder gehen Sie „Zurück“ und kreuzen Sie „Server selbst eingeben“ an, um andere einzugeben.</translation>
    </message>
    <message>
        <source>TLS</source>
        <translation>TLS</translation>
    </message>
    <message>
        <source>STARTTLS</source>
        <translation>STARTTLS</translation>
    </message>
    <message>
        <source>no encryption</source>
        <translation>unverschlüsselt</translation>
    </message>
    <message>
        <source>%1, port %2, %3</source>
        <translation>%1, Port %2, %3</translation>
    </message>
    <message>
        <source>Tarnwick found the settings for %1 (from %2). Check them, then enter your password.</source>
        <translation>Tarnwick hat die Einstellungen für %1 gefunden (bei %2). Prüfen Sie sie und geben Sie dann Ihr Passwort ein.</translation>
    </message>
    <message>
        <source>none found: the outgoing server set in Options stays</source>
        <translation>keiner gefunden: der in den Einstellungen gewählte Postausgangsserver bleibt</translation>
    </message>
    <message>
        <source>%1 (the outgoing server set in Options)</source>
        <translation>%1 (der in den Einstellungen gewählte Postausgangsserver)</translation>
    </message>
    <message>
        <source>%1 (becomes the outgoing server for all mail)</source>
        <translation>%1 (wird der Postausgangsserver für alle Nachrichten)</translation>
    </message>
    <message>
        <source>%1 (for this account&apos;s mail only)</source>
        <translation>%1 (nur für die Nachrichten dieses Kontos)</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>The password your e-mail program logs in to Tarnwick with; the provider asks for yours on its own sign-in page when the servers are checked.</source>
        <translation>Das Passwort, mit dem sich Ihr E-Mail-Programm bei Tarnwick anmeldet; nach Ihrem Passwort beim Anbieter fragt dieser auf seiner eigenen Anmeldeseite, wenn die Server geprüft werden.</translation>
    </message>
    <message>
        <source>Local &amp;password:</source>
        <translation>Lokales &amp;Passwort:</translation>
    </message>
    <message>
        <source>Sign in… at %1 (OAuth 2.0)</source>
        <translation>Anmelden… bei %1 (OAuth 2.0)</translation>
    </message>
</context>
<context>
    <name>WizardLookupPage</name>
    <message>
        <source>&amp;Stop and enter the servers myself</source>
        <translation>&amp;Anhalten und Server selbst eingeben</translation>
    </message>
    <message>
        <source>The look-up for %1 took too long. Enter the servers as your provider gives them.</source>
        <translation>Die Suche für %1 hat zu lange gedauert. Geben Sie die Server so ein, wie Ihr Anbieter sie nennt.</translation>
    </message>
    <message>
        <source>Tarnwick looks up the servers of your provider.</source>
        <translation>Tarnwick sucht die Server Ihres Anbieters.</translation>
    </message>
    <message>
        <source>Looking up the settings for %1…</source>
        <translation>Einstellungen für %1 werden gesucht…</translation>
    </message>
    <message>
        <source>No settings were found for %1. Enter the servers as your provider gives them.</source>
        <translation>Für %1 wurden keine Einstellungen gefunden. Geben Sie die Server so ein, wie Ihr Anbieter sie nennt.</translation>
    </message>
</context>
<context>
    <name>WizardOutgoingPage</name>
    <message>
        <source>Choose the server this account&apos;s mail leaves through: the outgoing server Tarnwick has for all accounts, or one of this account&apos;s own, as its provider gives it.</source>
        <translation>Wählen Sie den Server, über den die Post dieses Kontos verschickt wird: den Postausgangsserver, den Tarnwick für alle Konten hat, oder einen eigenen dieses Kontos, wie ihn sein Anbieter angibt.</translation>
    </message>
</context>
<context>
    <name>WizardServerPage</name>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>Incoming &amp;server:</source>
        <translation>Posteingangs&amp;server:</translation>
    </message>
    <message>
        <source>Enter the incoming mail server of your provider (POP3 or IMAP), the security it asks for, and the user name and password of your mailbox there.</source>
        <translation>Geben Sie den Posteingangsserver Ihres Anbieters (POP3 oder IMAP), die von ihm verlangte Sicherheit sowie Benutzername und Passwort Ihres Postfachs dort ein.</translation>
    </message>
    <message>
        <source>The password your e-mail program logs in to Tarnwick with; the provider asks for yours on its own sign-in page when the servers are checked.</source>
        <translation>Das Passwort, mit dem sich Ihr E-Mail-Programm bei Tarnwick anmeldet; nach Ihrem Passwort beim Anbieter fragt dieser auf seiner eigenen Anmeldeseite, wenn die Server geprüft werden.</translation>
    </message>
</context>
<context>
    <name>WizardTitlePage</name>
    <message>
        <source>Account &amp;title:</source>
        <translation>Konto&amp;titel:</translation>
    </message>
    <message>
        <source>Enter the servers &amp;myself</source>
        <translation>Server &amp;selbst eingeben</translation>
    </message>
    <message>
        <source>&amp;E-mail address:</source>
        <translation>&amp;E-Mail-Adresse:</translation>
    </message>
    <message>
        <source>Enter your e-mail address: Tarnwick looks up your provider&apos;s servers for it. Your e-mail program logs in to Tarnwick with the account&apos;s title as its user name.</source>
        <translation>Geben Sie Ihre E-Mail-Adresse ein: Tarnwick sucht dazu die Server Ihres Anbieters. Ihr E-Mail-Programm meldet sich bei Tarnwick mit dem Titel des Kontos als Benutzernamen an.</translation>
    </message>
    <message>
        <source>Without an address you enter the servers yourself on the next page.</source>
        <translation>Ohne Adresse geben Sie die Server auf der nächsten Seite selbst ein.</translation>
    </message>
</context>
<context>
    <name>views::LogViewer</name>
    <message>
        <source>Tarnwick log – %1</source>
        <translation>Tarnwick-Protokoll – %1</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Copies the selected lines, or the whole log when none are selected.</source>
        <translation>Kopiert die markierten Zeilen oder, wenn keine markiert sind, das ganze Protokoll.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>The log %1 cannot be read.</source>
        <translation>Das Protokoll %1 kann nicht gelesen werden.</translation>
    </message>
</context>
</TS>
