echo "firewall down" >> /var/log/install.log
